#pragma once

#include <optional>
#include <string>

// Where each plug-in object's movie was found: the page, and what the object told the player
// (its base and its flashvars). The host keeps it for what follows a capture (a movie's
// dependencies resolve as the player resolved them); the plug-in's own records never change.
// Main thread only.
namespace embedded_movies {

struct Origin {
    std::string page;      // the document the object stood in
    std::string base;      // its `base` attribute resolved against the page; "" without one
    std::string flashvars; // as written; "" without
};

// The first page to embed a movie is the one that names its origin.
void Record(const std::string& movieAddress, const Origin& origin);
std::optional<Origin> Find(const std::string& movieAddress);
void Clear();

} // namespace embedded_movies
