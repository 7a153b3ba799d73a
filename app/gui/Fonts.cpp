#include "app/gui/Fonts.hpp"

#include <QFontDatabase>

namespace nuv::gui {

namespace {

// The first of `families` that the system has, else the system's family for `hint`.
QFont FirstAvailable(const QStringList& families, QFont::StyleHint hint, int pixelSize) {
    QFont font;
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families) {
        if (installed.contains(family, Qt::CaseInsensitive)) {
            font.setFamily(family);
            font.setPixelSize(pixelSize);
            return font;
        }
    }
    font.setStyleHint(hint);
    font.setFamily(QFontDatabase::systemFont(hint == QFont::Monospace ? QFontDatabase::FixedFont
                                                                      : QFontDatabase::GeneralFont)
                       .family());
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace

QFont WindowFont() {
    return FirstAvailable({"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans"},
                          QFont::SansSerif, 11);
}

QFont LogFont() {
    return FirstAvailable({"Courier New", "DejaVu Sans Mono", "Liberation Mono", "Noto Mono"},
                          QFont::Monospace, 12);
}

QString LabelText(const std::string& caption) {
    const QString text = ToQString(caption);
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                shown += u'&';
                ++i;
            }
            continue;
        }
        shown += text[i];
    }
    return shown;
}

}  // namespace nuv::gui
