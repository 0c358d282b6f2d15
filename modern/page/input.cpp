// A page's text for the modern converter.
#include "modern/page/input.h"

#include <zlib.h>

#include "modern/page/encoding.h"
#include "platform/platform.h"

namespace {

// Inflates a gzip file (one member or several in a row) into `out`.
bool gunzip(const std::string& bytes, std::string& out, std::string& error) {
    out.clear();
    z_stream stream{};
    // 15 + 32: a window of 32 KiB, and a gzip or zlib header told by its bytes.
    if (inflateInit2(&stream, 15 + 32) != Z_OK) {
        error = "cannot start decompressing";
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    char block[64 * 1024];
    int status = Z_OK;
    while (status != Z_STREAM_END || stream.avail_in > 0) {
        if (status == Z_STREAM_END) {
            // Another member follows; anything else after the end is not compressed text.
            if (stream.avail_in < 2 || stream.next_in[0] != 0x1F || stream.next_in[1] != 0x8B) break;
            inflateReset(&stream);
        }
        stream.next_out = reinterpret_cast<Bytef*>(block);
        stream.avail_out = sizeof block;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            if (status == Z_BUF_ERROR && stream.avail_in == 0) error = "damaged compressed file: it ends too soon";
            else error = std::string("damaged compressed file") + (stream.msg ? std::string(": ") + stream.msg : "");
            inflateEnd(&stream);
            return false;
        }
        out.append(block, sizeof block - stream.avail_out);
        if (out.size() > kPageLimit) {
            error = "more than " + std::to_string(kPageLimit >> 20) + " MiB once decompressed";
            inflateEnd(&stream);
            return false;
        }
        if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            error = "damaged compressed file: it ends too soon";
            inflateEnd(&stream);
            return false;
        }
    }
    inflateEnd(&stream);
    return true;
}

}  // namespace

bool is_compressed(std::string_view name) {
    return name.size() > 3 && name.substr(name.size() - 3) == ".gz";
}

bool read_page_text(const std::string& path, std::string_view source_path, std::string& text,
                    std::string& error) {
    if (int e = platform::read_file(path, text, kPageLimit); e != 0) {
        error = platform::error_number_text(e);
        return false;
    }
    if (is_compressed(path)) {
        std::string inflated;
        if (!gunzip(text, inflated, error)) return false;
        text.swap(inflated);
    }
    to_utf8(text, source_path);
    return true;
}
