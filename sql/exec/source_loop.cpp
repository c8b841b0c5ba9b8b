#include "sql/exec/source_loop.h"

#include "sql/exec/condition_placement.h"
#include "sql/parse/data_query.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/table/data_table.h"

namespace strata {

TSourceLoop::TSourceLoop(TDataQuery& query, int target, const std::vector<uint16_t>& set_fields,
                         const TExecutorOptions& options)
    : query_(query), chain_(BuildJoinChain(query, target)), rows_(query) {
  context_.Rows = &rows_;
  if (query.LanguageId != 0) {
    context_.LocaleId =
        static_cast<uint32_t>(query.LanguageId) | (static_cast<uint32_t>(query.SortId) << 16);
  }
  PlaceConditions(query, chain_);
  filters_.Install(query, chain_, target, set_fields);
  if (OptimizeJoinOrder(query, chain_, target)) {
    // The filters stay; the per-row conditions follow the new order.
    PlaceConditions(query, chain_);
    filters_.Reclassify(chain_);
  }
  loop_ = std::make_unique<TRowLoop>(query, chain_, rows_, context_);
  if (options.Progress) loop_->SetProgress(options.Progress, options.ProgressSteps);
  if (target >= 0)
    loop_->SetLeavingLevel(static_cast<size_t>(chain_.LevelOf[static_cast<size_t>(target)]));
}

TSourceLoop::~TSourceLoop() = default;

void TSourceLoop::Run(const std::function<TVisit()>& visit) { loop_->Run(visit); }

}  // namespace strata
