#include "ui/local_path.h"

#include <QFile>
#include <QUrl>

namespace tembrel::ui {

std::optional<std::string> localPathOf(const QString& path) {
    if (path.isEmpty() || path.contains(QChar::ReplacementCharacter))
        return std::nullopt;
    const QByteArray bytes = QFile::encodeName(path);
    if (QFile::decodeName(bytes) != path || bytes.contains('\0'))
        return std::nullopt;
    return bytes.toStdString();
}

std::optional<std::string> localPathOf(const QUrl& url) {
    if (!url.isValid() || !url.isLocalFile())
        return std::nullopt;
    if (!url.host().isEmpty() && url.host() != QLatin1String("localhost"))
        return std::nullopt;  // a file on another machine
    // The encoded form keeps bytes that are not UTF-8 as %XX; decoding it by hand gives
    // the bytes of the name exactly.
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (bytes.isEmpty() || bytes.contains('\0'))
        return std::nullopt;
    return bytes.toStdString();
}

QString displayPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace tembrel::ui
