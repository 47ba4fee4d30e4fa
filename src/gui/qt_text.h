#pragma once
// Conversions between the core's paths and texts and Qt's strings. File names
// go through QFile's local 8-bit encoding so that names that are not valid
// UTF-8 survive the round trip.

#include <QFile>
#include <QString>
#include <filesystem>
#include <string_view>

namespace resmill::gui {

inline QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString PathToQString(const std::filesystem::path& path) {
  return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

inline std::filesystem::path QStringToPath(const QString& text) {
  return std::filesystem::path(QFile::encodeName(text).toStdString());
}

}  // namespace resmill::gui
