// One result row handed to the row readers: the columns by lower-cased name,
// each with its value as text. NULL columns are absent.
#pragma once

#include <map>
#include <string>

namespace storage {

using Row = std::map<std::string, std::string>;

// The value of column `name`, or null when the row has no such column (or it
// was NULL). The pointer lives as long as the row.
inline const std::string* column(const Row& row, const std::string& name) {
    auto it = row.find(name);
    return it == row.end() ? nullptr : &it->second;
}

}  // namespace storage
