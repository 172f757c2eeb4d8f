// Names kept by the key Windows tells files apart by (windows_key), for
// listings and messages, in the order packages store names.
#pragma once

#include <map>
#include <string>

// Orders names (or their keys) by the code page 1252 bytes that packages
// store them in, a name the code page cannot hold by its UTF-8: listings
// keep the order they have always had.
struct in_stored_order {
    bool operator()(const std::string& a, const std::string& b) const;
};

// Names keyed as Windows compares them, in that order.
using names_by_key = std::map<std::string, std::string, in_stored_order>;
