// What the contents and index files share: the sitemap header and its escaping.
#pragma once

#include <string_view>

#include "platform/stream.h"

// The header both sitemap files begin with, up to the site-properties object.
extern const char kSitemapHead[];

// Writes `value` for a value="..." attribute.
void put_value(Sink& out, std::string_view value);
