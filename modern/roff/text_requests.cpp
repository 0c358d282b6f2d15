// The formatting requests every layer shares.
#include "modern/roff/text_requests.h"

void request_ft(FontState& fonts, std::string_view name) {
    int font = font_named(name);
    fonts.set(font < 0 ? fonts.previous : static_cast<uint8_t>(font));
}

bool request_br(bool fill, DocumentBuilder& doc) {
    if (!fill || !doc.has_text()) return false;
    doc.line_break();
    return true;
}

void request_nf(bool& fill, DocumentBuilder& doc) {
    fill = false;
    if (doc.top() == NodeKind::paragraph) doc.close();
}

void request_fi(bool& fill, DocumentBuilder& doc) {
    fill = true;
    if (doc.top() == NodeKind::preformatted) doc.close();
}

void request_sp(bool fill, DocumentBuilder& doc, bool ends_example) {
    if (fill) {
        if (doc.top() == NodeKind::paragraph || (ends_example && doc.top() == NodeKind::preformatted)) doc.close();
    } else if (doc.top() == NodeKind::preformatted) {
        doc.text(0, "\n");
    }
}
