#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <string>
#include <string_view>

#include "core/Rgb.hpp"

namespace nuv::gui {

// The windows' font: "MS Sans Serif" at 11 pixels, or a sans family of the same size where the
// system has no such font.
QFont WindowFont();
// The message log's font: "Courier New" at 12 pixels, or a monospace family of the same size.
QFont LogFont();

inline QColor ToQColor(Rgb colour) {
    return QColor(colour.r, colour.g, colour.b);
}
inline QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ToStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

// A caption as a label shows it: "&&" is one "&", and a single "&" marks the access key.
QString LabelText(const std::string& caption);

}  // namespace nuv::gui
