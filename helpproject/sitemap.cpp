#include "helpproject/sitemap.h"

#include "model/paths.h"

const char kSitemapHead[] =
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML lang=\"ru\">\n<HEAD>\n"
    "<meta content=\"text/html;charset=windows-1251\" http-equiv=\"Content-Type\">\n"
    "<meta name=\"GENERATOR\" content=\"tolbrik\">\n<!-- Sitemap 1.0 -->\n</HEAD><BODY>\n";

void put_value(Sink& out, std::string_view value) { out.put(escape_attribute(value)); }
