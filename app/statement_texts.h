// The SQL texts of the banner service: fixed texts with request values,
// numbers and time strings spliced in. Every blank and quote of the fixed
// parts is significant and stays exactly as written here.
//
// Values never change a statement's structure: a text value is placed inside
// its quoted literal with each single quote doubled (so it is stored and
// compared as received), and a number is written in decimal. The index of a
// banner-by-index request goes in bare, so it must pass IsIndexValue first.
#pragma once

#include <cstdint>
#include <string>

namespace banner {

// `value` ready for a single-quoted literal: every single quote doubled.
std::string QuoteDoubled(const std::string& value);
// A decimal integer of 32 bits: an optional minus sign and 1 to 10 digits,
// nothing else, within -2147483648 to 2147483647.
bool IsIndexValue(const std::string& value);

// Blocking sweep (no value).
std::string BlockingSweepText();

// Visitor tracking.
std::string VisitorLookupText(const std::string& visitor_key, const std::string& past_90);
std::string VisitorUpdateText(const std::string& now, const std::string& site, int32_t visitor_id);
std::string VisitorInsertText(const std::string& now, const std::string& visitor_key,
                              const std::string& site);
std::string VisitorRereadText(const std::string& visitor_key, const std::string& past_2);
std::string VisitorPurgeText(const std::string& past_90);

// Banner choice and impression accounting.
std::string LinkLookupText(const std::string& referer);
std::string CandidateQueryText(int32_t link_id);
std::string ImpressionCountText(int32_t banner_id);
std::string CreditDebitText(int32_t owner_id);

// Page impressions.
std::string PageImpressionLookupText(const std::string& site, int32_t visitor_id);
std::string BannerFetchText(int32_t banner_id);
std::string PageImpressionTouchText(const std::string& now, const std::string& site,
                                    int32_t visitor_id);
std::string PageImpressionInsertText(int32_t visitor_id, const std::string& site,
                                     const std::string& now, int32_t banner_id);
std::string PageImpressionResetText(const std::string& site, int32_t visitor_id);

// Page statistics. `page_id` is the row's ID as read back in text form.
std::string PageLookupText(const std::string& referer, const std::string& site_key);
std::string PageInsertText(const std::string& now, const std::string& site_key,
                           const std::string& referer);
std::string PageUpdateLine1(const std::string& page_id, const std::string& past_90);
std::string PageUpdateLine2(const std::string& now, const std::string& page_id);

// Banner by index; `index` must satisfy IsIndexValue.
std::string BannerByIndexText(const std::string& index);
std::string BannerByIndexAnyStateText(const std::string& index);

}  // namespace banner
