// One way to write an output file whole: the folders on the way made, the file created,
// filled through a buffer, closed, and any failure named on standard error.
#pragma once

#include <functional>
#include <string>

#include "platform/stream.h"

// Writes the file at `path` (the tool's backslash spelling) with what `write` puts into
// the sink. With `made_folder`, the folders on the way are made first, unless that string
// holds the file's folder already (the file before went into the same one); it then holds
// it. Returns false when the file could not be created or written (reported).
bool write_output_file(const std::string& path, const std::function<void(Sink&)>& write,
                       std::string* made_folder = nullptr);

// A file to write: its name in the output folder and what it holds.
struct OutputFile {
    std::string name;
    std::function<void(Sink&)> write;
};
