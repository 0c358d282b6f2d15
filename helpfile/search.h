// The full-text search index of a help file: a B-tree of every word of every topic, each
// with the topics it is in and where in each it stands, coded compactly as readers
// decode it.
#pragma once

#include <string>
#include <vector>

#include "helpfile/code_page.h"
#include "helpfile/page_text.h"

// The index over `topics` (numbered as the help file's topics are), on `jobs` threads.
std::string search_index(const std::vector<PageTerms>& topics, const HelpLanguage& language, unsigned jobs);
