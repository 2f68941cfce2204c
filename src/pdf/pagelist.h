#pragma once

#include "signerror.h"

#include <QString>

#include <optional>
#include <variant>
#include <vector>

// The pages of a list such as "1,3-5,last" or "all", each once, in the order first given, of a
// document of `count` pages; or, where it names a page the document lacks, or is no list, why.
std::variant<std::vector<int>, SignError> pageList(const QString& list, int count);
// What makes a list no list of pages, whatever the document (SignError::Kind::BadPageList):
// nothing where it reads as one.
std::optional<SignError> pageListProblem(const QString& list);
