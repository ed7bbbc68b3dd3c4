#pragma once

#include <string>
#include <vector>

// Number-aware ordering ("file2" before "file10"): where both texts hold a digit
// 1 to 9 at the same place after equal text, the digit runs from there compare
// by value and equal runs go on; otherwise the first differing byte decides, a
// prefix first. A zero starts no number, so "a01" and "a1" compare as bytes.
// -1, 0 (equal texts only) or 1; a strict total order, safe for sorting.
int natural_compare(const std::string& a, const std::string& b);

// The candidate that best stands for the wanted name, or an empty text. Tried in
// order: the wanted name itself; a candidate equal after normalize_name; the
// candidate "AUTODETECT"; a candidate whose normalised name lies inside the
// wanted one's; one equal up to the last digit; the candidate "UNIFIED".
std::string find_matching_name(const std::string& ignore, const std::string& wanted,
                               const std::vector<std::string>& candidates);

// The name upper-cased (ASCII letters only), with each occurrence of the
// upper-case text to ignore removed in one left-to-right pass, then every blank,
// '-' and '_' removed.
std::string normalize_name(const std::string& ignore_upper, const std::string& name);

// The text up to and including its last decimal digit; all of it without a digit.
std::string cut_after_last_digit(const std::string& text);
