// The SQL type names of CREATE TABLE, ALTER TABLE and CAST, and the engine
// field type each stands for.
//
//  name                                   type code / subtype     size, scale
//  SMALLINT                               5                       -
//  WORD                                   12                      -
//  INTEGER                                6                       -
//  AUTOINC                                6 / 29                  -
//  LARGEINT                               18                      -
//  DECIMAL, NUMERIC [(precision[,scale])] 8                       scale
//  FLOAT                                  7                       -
//  MONEY                                  7 / 21                  -
//  CHARACTER, CHAR, VARCHAR [(length)]    1                       length
//  BYTES, BINARY [(length)]               9                       length
//  VARBYTES, VARBINARY [(length)]         15                      length
//  DATE / TIME / TIMESTAMP                2 / 10 / 11             -
//  BOOLEAN, BOOL                          4                       -
//  BLOB [(block size[, blob type])]       3 / by blob type        -
//  LONGVARBINARY                          3                       -
//  LONGVARCHAR, MEMO                      3 / 22                  -
//  GRAPHIC                                3 / 26                  -
// Blob types: 1 memo, 2 binary, 3 formatted memo, 5 graphic, 7 typed binary.
#pragma once

#include <cstdint>
#include <optional>

#include "sql/expr/expression_parser.h"

namespace strata {

struct TSqlType {
  uint8_t TypeCode = 0;
  uint8_t SubType = 0;
  uint16_t Size = 0;           // declared length of strings and bytes
  uint16_t Precision = 0;      // DECIMAL precision as written (0: none)
  uint8_t Scale = 0;           // DECIMAL scale
  uint32_t BlobBlockSize = 0;  // BLOB (block size, ...) as written, 0: none
  int BlobType = 0;            // BLOB (..., blob type) as written, 0: none
};

// Parses a type name at the current token with its optional parenthesised
// sizes; stops on the token after it. Raises "SQL data type keyword
// expected, instead found '<token>'" for another word.
TSqlType ParseSqlType(TExpressionParser& tokens);

// The blob subtype of a blob type number (1, 2, 3, 5, 7); nullopt otherwise.
std::optional<uint8_t> BlobSubTypeOf(int blob_type);

}  // namespace strata
