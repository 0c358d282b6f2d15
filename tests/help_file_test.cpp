// The help file's parts where the end-to-end suites cannot reach them: data that no page
// holds (bytes that do not compress, one byte repeated), read back by libmspack; the
// Huffman codes at their length limit; the spellings of what a code page lacks; links
// retargeted; the help file's language.
#include <mspack.h>

#include <cmath>
#include <random>

#include "helpfile/code_page.h"
#include "helpfile/help_file.h"
#include "helpfile/huffman.h"
#include "helpfile/page_text.h"
#include "test_support.h"

namespace {

using testing_support::TempDir;

// Stored as they are, files of the help file take any bytes: every frame of noise goes
// as it is, runs of one byte as the longest matches, and both decode from any reset
// point (the files are read back last first).
TEST(HelpFile, DataThatDoesNotCompressAndDataThatDoesReadBack) {
    TempDir dir;
    std::mt19937 random(3);
    std::string noise(200000, '\0'), runs(150001, 'x');
    for (char& c : noise) c = static_cast<char>(random());
    runs.replace(70000, 3, "abc");
    dir.write("index.htm", "<html><head><title>t</title></head><body>one</body></html>");
    dir.write("noise.bin", noise);
    dir.write("runs.bin", runs);
    dir.write("one.bin", "1");
    dir.write("tolbrik.hhc", "<UL></UL>");
    HelpFileInput input;
    input.folder = dir.path() + "/";
    input.pages = {"index.htm"};
    input.files = {"noise.bin", "runs.bin", "one.bin"};
    input.contents = "tolbrik.hhc";
    input.default_topic = "index.htm";
    input.language = &language_of_folder("");
    input.jobs = 2;
    ASSERT_TRUE(write_help_file(input, "t.chm"));

    const std::string path = dir.path() + "/t.chm";  // libmspack keeps the pointer
    mschm_decompressor* chm = mspack_create_chm_decompressor(nullptr);
    mschmd_header* header = chm->open(chm, path.c_str());
    ASSERT_NE(header, nullptr);
    std::vector<mschmd_file*> files;
    for (mschmd_file* f = header->files; f != nullptr; f = f->next) files.insert(files.begin(), f);
    size_t checked = 0;
    for (mschmd_file* f : files) {
        std::string name = std::string(f->filename).substr(1);
        if (name.find(".bin") == std::string::npos) continue;
        ASSERT_EQ(chm->extract(chm, f, (dir.path() + "/out").c_str()), MSPACK_ERR_OK) << name;
        EXPECT_EQ(dir.read("out"), dir.read(name)) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 3u);
    chm->close(chm, header);
    mspack_destroy_chm_decompressor(chm);
}

// Counts that make an ordinary Huffman tree deeper than the limit (Fibonacci numbers),
// one symbol, none: every code fills the code space exactly, within the limit.
TEST(Huffman, CodesFillTheCodeSpaceWithinTheLimit) {
    std::vector<std::vector<uint32_t>> cases = {{}, {0, 0, 9}, {5, 5}};
    std::vector<uint32_t> fibonacci = {1, 1};
    while (fibonacci.size() < 30) fibonacci.push_back(fibonacci[fibonacci.size() - 1] + fibonacci[fibonacci.size() - 2]);
    cases.push_back(fibonacci);
    cases.push_back(std::vector<uint32_t>(512, 1));
    cases.back()[7] = 1u << 30;
    for (const auto& counts : cases) {
        std::vector<uint32_t> c = counts;
        c.resize(std::max<size_t>(c.size(), 20));
        std::vector<uint8_t> lengths(c.size());
        huffman::code_lengths(c.data(), c.size(), 16, lengths.data());
        double kraft = 0;
        size_t used = 0;
        for (size_t s = 0; s < c.size(); ++s) {
            EXPECT_LE(lengths[s], 16) << s;
            EXPECT_TRUE(c[s] == 0 || lengths[s] != 0) << s;
            if (lengths[s] == 0) continue;
            kraft += std::ldexp(1.0, -lengths[s]);
            ++used;
        }
        EXPECT_EQ(kraft, 1.0) << testing::PrintToString(counts);
        EXPECT_GE(used, 2u);
    }
    const uint8_t lengths[] = {3, 1, 0, 3, 2};
    uint16_t codes[5];
    huffman::canonical_codes(lengths, 5, codes);
    EXPECT_EQ(std::vector<uint16_t>(codes, codes + 5), (std::vector<uint16_t>{6, 0, 0, 7, 2}));
}

TEST(CodePage, TextOutsideTheCodePageIsSpeltWithItsLetters) {
    const struct {
        const char* folder;
        std::string utf8, bytes;
    } cases[] = {
        {"", "a \u2014 \u201cq\u201d \u2026 caf\u00e9 \u0416\u0443\u043a \u0131\u015f \u2264 \u221e \u2605",
         "a \x97 \x93q\x94 \x85 caf\xe9 Zhuk is <= inf ?"},
        {"ru", "\u0416\u0443\u043a \u2014 caf\u00e9 \u00df \u0152", "\xc6\xf3\xea \x97 cafe ss OE"},
        {"pl.ISO8859-2", "\u0141\u00f3d\u017a \u0416", "\xa3\xf3\x64\x9f Zh"},
    };
    for (const auto& c : cases) {
        CodePage code_page(language_of_folder(c.folder));
        EXPECT_EQ(code_page.encode(c.utf8), c.bytes) << c.folder;
    }
    CodePage russian(language_of_folder("ru")), western(language_of_folder(""));
    EXPECT_EQ(std::vector<int>({russian.lower(0xC6), russian.lower(0xA5)}), std::vector<int>({0xE6, 0xB4}));  // Ж Ґ
    EXPECT_EQ(std::vector<int>({western.lower(0xC4), western.lower(0x8A), western.lower(0x9F), western.lower(0xD7)}),
              std::vector<int>({0xE4, 0x9A, 0xFF, 0xD7}));  // Ä Š Ÿ, and × has none
    EXPECT_TRUE(russian.is_word_byte(0xB8) && !russian.is_word_byte(0x97));
    const struct {
        std::vector<std::string_view> folders;
        uint32_t lcid;
    } languages[] = {
        {{"", "", "ru", "ru.KOI8-R"}, 0x409}, {{"ru", "", "uk"}, 0x419}, {{"de", "de", "", "fr"}, 0x407},
        {{"ja", "ru", "zh_CN"}, 0x409},       {{"pt_BR"}, 0x416},
    };
    for (const auto& l : languages) EXPECT_EQ(help_language(l.folders).lcid, l.lcid) << l.folders.size();
}

TEST(PageText, LinksToPagesLeadToTheirStoredNames) {
    std::string page =
        "<a href=\"../man1/ls.htm\">ls</a> <a href=\"x.htm#t\">x</a> <a href=\"man1\\cp.HTM\">cp</a> "
        "<a href=\"http://host/a.htm\">w</a> <a href=\"#here\">h</a> <a href=\"a.html\">a</a> "
        "<a href=\"A::B.htm\">b</a> <a href=\"../man3/A%3A%3AB.htm\">b</a> <a href=\"mailto:a@b\">m</a>";
    retarget_links(page, false);
    EXPECT_EQ(page, "<a href=\"../man1/ls.html\">ls</a> <a href=\"x.html#t\">x</a> <a href=\"man1/cp.HTMl\">cp</a> "
                    "<a href=\"http://host/a.htm\">w</a> <a href=\"#here\">h</a> <a href=\"a.html\">a</a> "
                    "<a href=\"A=3a=3aB.html\">b</a> <a href=\"../man3/A=3a=3aB.html\">b</a> <a href=\"mailto:a@b\">m</a>");
    std::string sitemap = "<param name=\"Name\" value=\"ls.htm\">\n<param name=\"Local\" value=\"man1\\ls.htm\">";
    retarget_links(sitemap, true);
    EXPECT_EQ(sitemap, "<param name=\"Name\" value=\"ls.htm\">\n<param name=\"Local\" value=\"man1/ls.html\">");
    EXPECT_EQ(stored_page_name("man3\\A::B.htm"), "/man3/A=3a=3aB.html");
    std::string ascii;
    ascii_page("a\u2014\xff", nullptr, ascii);
    EXPECT_EQ(ascii, "a&#8212;&#65533;");
}

}  // namespace
