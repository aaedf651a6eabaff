#pragma once

#include <string>
#include <string_view>

#include "model/Problem.h"
#include "text/Catalog.h"

// The one place where a Problem becomes words, from the one catalogue.
namespace strivo {

// The problem in words (UTF-8): in the catalogue in use (strivo-cli's, by
// the user's locale), or in `catalog` (null: English). Causes come first,
// as "cannot write the store: the disk is full" reads.
// Whatever came from outside in it (a RunID, a server's words) has its
// control characters masked (MaskControls).
std::string Describe(const Problem& problem);
std::string DescribeIn(const MessageCatalog* catalog, const Problem& problem);

// A reason kept in the store (ProblemKey's text, or an older version's
// words) in words, as Describe gives them, cut after kReasonCharacters
// characters: a reason planted in the store cannot bury a screen.
inline constexpr std::size_t kReasonCharacters = 200;
std::string DescribeReason(std::string_view key);

// The window's few words for why a step failed, put in brackets after its
// status line ("（连接超时）"), in Chinese, UTF-8; empty when nobody said why.
std::string ShortCause(const Problem& problem);

// A problem kept as text, as the store keeps why a post failed, and read
// back: its code's key and its values, each percent-encoded, then its cause:
//   "net-status bbs.example%3A80 500 !detail | ..."
// Text that is no such key (an older version's English words) comes back as
// ProblemCode::Words, shown as it is.
std::string ProblemKey(const Problem& problem);
Problem ProblemFromKey(std::string_view key);

// Whether a code is a failure of the run store or the files beside it
// (strivo.db, its lock, an older record of posts), as the catalogue marks it.
bool OfTheStore(ProblemCode code);

// The stable name of a code ("net-status"), for keys and tests.
std::string_view CodeName(ProblemCode code);

}  // namespace strivo
