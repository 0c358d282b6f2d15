// The help project of the modern run: the start page that lists every page by manual
// section, the contents file of the same shape, an index of every name, and the project
// file with full-text search on.
#pragma once

#include <string>
#include <vector>

#include "model/page_table.h"
#include "output/output_file.h"

// "tolbrik.css" and "index.htm", and unless `nochm` the three files of the help project,
// for the pages whose `listed` is true. The writers share nothing they change: they may
// run at once, while `pages` and `listed` stay as they are.
std::vector<OutputFile> modern_project_files(const PageTable& pages, const std::vector<bool>& listed, bool nochm);
