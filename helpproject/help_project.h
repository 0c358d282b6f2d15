// The help project: the contents file (folder tree of all pages), the index file (one
// keyword per page) and the project file (options and the list of all HTML files).
#pragma once

#include <string>
#include <vector>

#include "model/page_table.h"
#include "output/output_file.h"
#include "platform/stream.h"

void write_contents(Sink& out, const PageTable& pages);
void write_index(Sink& out, const PageTable& pages);
void write_project(Sink& out, const PageTable& pages);

// "tolbrik.hhc", "tolbrik.hhk" and "tolbrik.hhp", in this order. The writers share
// nothing they change: they may run at once.
std::vector<OutputFile> help_project_files(const PageTable& pages);
