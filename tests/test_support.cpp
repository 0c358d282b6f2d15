#include "test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

PageTable table_of(const std::vector<std::pair<const char*, const char*>>& pages, bool indexed) {
    PageTable table;
    for (const auto& [title, path] : pages) {
        PageRecord record;
        record.title = title;
        record.source_path = path;
        table.records.push_back(record);
    }
    table.count = static_cast<uint32_t>(table.records.size());
    assign_html_paths(table);
    if (indexed) index_titles(table);
    return table;
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tolbrik-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may take permissions away; give them back so the folder can go.
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& relative, const std::string& bytes) const {
    fs::path target = fs::path(path_) / relative;
    fs::create_directories(target.parent_path());
    write_file(target.string(), bytes);
    return target.string();
}

std::string TempDir::folder(const std::string& relative) const {
    fs::path target = fs::path(path_) / relative;
    fs::create_directories(target);
    return target.string();
}

std::string TempDir::read(const std::string& relative) const {
    return read_file((fs::path(path_) / relative).string());
}

bool TempDir::exists(const std::string& relative) const {
    return fs::exists(fs::path(path_) / relative);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << bytes;
}

Result run_tolbrik(const std::vector<std::string>& args, const std::string& cwd) {
    TempDir capture;
    std::string out_path = capture.path() + "/out";
    std::string err_path = capture.path() + "/err";
    pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        std::FILE* out = std::freopen(out_path.c_str(), "wb", stdout);
        std::FILE* err = std::freopen(err_path.c_str(), "wb", stderr);
        if (out == nullptr || err == nullptr) ::_exit(127);
        std::vector<char*> argv;
        std::string exe = TOLBRIK_EXE;
        argv.push_back(exe.data());
        std::vector<std::string> copies(args);
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    Result result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

std::string cp866(const std::string& utf8) {
    std::string bytes;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
            ++i;
            continue;
        }
        unsigned code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
        i += 2;
        unsigned char out;
        if (code >= 0x410 && code <= 0x42F) out = static_cast<unsigned char>(0x80 + code - 0x410);       // А-Я
        else if (code >= 0x430 && code <= 0x43F) out = static_cast<unsigned char>(0xA0 + code - 0x430);  // а-п
        else if (code >= 0x440 && code <= 0x44F) out = static_cast<unsigned char>(0xE0 + code - 0x440);  // р-я
        else if (code == 0x401) out = 0xF0;                                                              // Ё
        else if (code == 0x451) out = 0xF1;                                                              // ё
        else throw std::runtime_error("no code page 866 byte for a character");
        bytes += static_cast<char>(out);
    }
    return bytes;
}

std::string banner_bytes() { return cp866("преобразователь MAN -> HTML. запусти с -? для справки\n"); }

std::string help_bytes() {
    return cp866(
        "преобразователь UNIX man файлов справок в комплекс HTML страниц.Использование: tolbrik [настройки]\n"
        "Настройки:\n"
        " -indir:<папка>  устанавливает путь к папке с анализируемыми файлами\n"
        " -outdir:<папка> устанавливает путь к папке для записи результатов\n"
        " -nochm          запрещает генерировать файлы chm проекта\n"
        " -modern         страницы HTML5 в UTF-8: ссылки на все man(N), оглавление по разделам\n"
        " -jobs:<число>   сколько потоков преобразуют страницы (по умолчанию: по числу ядер)\n"
        "по умолчанию ищет файлы в домашней папке и записывает результаты туда-же\n"
        "заметь, программа не разбирает расширений файлов, но ищет сигнатуры в\n"
        " потенциальных man-страницах, так что из анализируемого блока файлов\n"
        " желательно сперва убрать всё лишнее.");
}

std::string backslashed(const std::string& native) {
    std::string path(native);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::vector<std::string> readdir_names(const std::string& native) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(native.c_str());
    if (dir == nullptr) throw std::runtime_error("cannot open folder " + native);
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

std::vector<std::string> listed_names(const std::string& native) {
    using Bytes = std::basic_string<unsigned char>;
    auto key = [](const std::string& name) {
        Bytes raw(name.begin(), name.end()), upper = raw;
        for (auto& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
        return std::make_pair(upper, raw);
    };
    std::vector<std::string> names = readdir_names(native);
    std::sort(names.begin(), names.end(),
              [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
    return names;
}

std::vector<std::string> tree_listing(const std::string& native) {
    std::vector<std::string> entries;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(native, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        std::string relative = fs::relative(it->path(), native).string();
        entries.push_back(it->is_directory() ? relative + "/" : relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace testing_support
