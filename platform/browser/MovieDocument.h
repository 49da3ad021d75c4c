#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "browser/DOMElement.h"
#include "foundation/URL.h"

// A browser that navigates straight to a movie shows it as one full-page plug-in object. These
// say when a document is a movie, and make that object.
namespace movie_document {

// The type to show the document with when it is a movie: a movie's Content-Type as sent, else,
// for a local file or a type no browser shows itself (not text, image or XML), a body that starts
// with a movie's signature. None for any other document.
std::optional<std::string> MovieType(std::string_view contentType, std::string_view body);

// The full-page object: <embed src=document type=... width=100% height=100%>.
Ref<DOMElement> FullPageEmbed(const URL& document, const std::string& type);

} // namespace movie_document
