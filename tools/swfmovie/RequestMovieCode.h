#pragma once

#include <cstdint>
#include <vector>

#include "MovieDescription.h"

// The ActionScript 3 code of a movie that makes HTTP requests: one script defining the
// document class RequestMovie (top-level package, a flash.display.Sprite), whose constructor
// does, for each request in order,
//
//   try {
//       var request:URLRequest = new URLRequest(url);
//       request.method = method;
//       request.requestHeaders = [new URLRequestHeader(name, value), ...];
//       request.data = body;                  // when there is one
//       var loader:URLLoader = new URLLoader();
//       loaders.push(loader);                 // kept, so no load is collected midway
//       loader.load(request);
//   } catch (e:*) {}                          // a refused request does not stop the next
class RequestMovieCode {
public:
    // The name the SymbolClass tag binds to the main timeline.
    static constexpr const char* kDocumentClass = "RequestMovie";

    // The ABC file, ready for a DoABC tag.
    static std::vector<uint8_t> Abc(const std::vector<MovieDescription::Request>& requests);
};
