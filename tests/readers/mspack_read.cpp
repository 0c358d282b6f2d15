// mspack_read FILE OUTDIR: reads a compiled help file through libmspack, a reader the
// tests check tolbrik's help files with. Every file it lists is extracted under OUTDIR,
// then again in the opposite order (so that each is decoded from another reset point
// than before) and compared; every name, the system ones included, must then be found
// by the quick look-up through the directory's index. Prints the names it extracted;
// exits 1 on the first thing that fails.
#include <mspack.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int fail(const std::string& what, int error) {
    std::fprintf(stderr, "mspack_read: %s (libmspack error %d)\n", what.c_str(), error);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mspack_read FILE OUTDIR\n");
        return 2;
    }
    const std::string chm_path = argv[1], out = argv[2];
    mschm_decompressor* chm = mspack_create_chm_decompressor(nullptr);
    if (chm == nullptr) return fail("no decompressor", 0);
    mschmd_header* header = chm->open(chm, chm_path.c_str());
    if (header == nullptr) return fail("open failed", chm->last_error(chm));
    std::vector<mschmd_file*> files;
    for (mschmd_file* f = header->sysfiles; f != nullptr; f = f->next) files.push_back(f);
    for (mschmd_file* f = header->files; f != nullptr; f = f->next) files.push_back(f);
    auto target = [&](const mschmd_file* f) { return out + "/" + f->filename; };
    for (mschmd_file* f : files) {
        std::filesystem::create_directories(std::filesystem::path(target(f)).parent_path());
        if (chm->extract(chm, f, target(f).c_str()) != MSPACK_ERR_OK) {
            return fail(std::string("extract ") + f->filename, chm->last_error(chm));
        }
        std::printf("%s\n", f->filename);
    }
    const std::string again = out + "/.again";
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        if (chm->extract(chm, *it, again.c_str()) != MSPACK_ERR_OK || read_whole(again) != read_whole(target(*it))) {
            return fail(std::string("extracted again differently: ") + (*it)->filename, chm->last_error(chm));
        }
    }
    std::filesystem::remove(again);
    chm->close(chm, header);

    mschmd_header* quick = chm->fast_open(chm, chm_path.c_str());
    if (quick == nullptr) return fail("fast_open failed", chm->last_error(chm));
    mschmd_header* full = chm->open(chm, chm_path.c_str());
    for (mschmd_file* f = full->files; f != nullptr; f = f->next) {
        mschmd_file found{};
        if (chm->fast_find(chm, quick, f->filename, &found, sizeof found) != MSPACK_ERR_OK || found.section == nullptr ||
            found.offset != f->offset || found.length != f->length) {
            return fail(std::string("fast_find did not find ") + f->filename, chm->last_error(chm));
        }
    }
    for (const char* name : {"::DataSpace/Storage/MSCompressed/Content", "::DataSpace/Storage/MSCompressed/ControlData",
                             "::DataSpace/Storage/MSCompressed/SpanInfo",
                             "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
                             "InstanceData/ResetTable"}) {
        mschmd_file found{};
        if (chm->fast_find(chm, quick, name, &found, sizeof found) != MSPACK_ERR_OK || found.section == nullptr) {
            return fail(std::string("fast_find did not find ") + name, chm->last_error(chm));
        }
    }
    chm->close(chm, full);
    chm->close(chm, quick);
    mspack_destroy_chm_decompressor(chm);
    return 0;
}
