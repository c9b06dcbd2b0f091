// Paths are bytes. Qt hands paths over as texts (choosers) or URLs (drops); these turn
// them into the bytes the core works with, refusing a text that does not name exactly
// one byte string, and turn bytes into texts for display.
#pragma once

#include <QString>
#include <optional>
#include <string>

class QUrl;

namespace tembrel::ui {

// The bytes of a path from a chooser; nullopt when the text does not round-trip (a name
// that was not valid in the file-name encoding reached Qt with replacement characters,
// and its bytes would name another file).
std::optional<std::string> localPathOf(const QString& path);

// The bytes of a dropped local file URL, taken from its percent-encoded form so that any
// name arrives unchanged; nullopt for a URL that is not a local file.
std::optional<std::string> localPathOf(const QUrl& url);

// A path for display; bytes that are not valid in the file-name encoding show as
// replacement characters.
QString displayPath(const std::string& path);

}  // namespace tembrel::ui
