#include "ServedFile.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

#include <httplib.h>

#include "ContentType.h"
#include "foundation/URL.h"

namespace {

constexpr size_t kReadChunk = size_t{64} * 1024;

} // namespace

Outcome<std::string> ServeFolderFile(const ServedFolder& folder, const std::string& relative,
                                     httplib::Response& response) {
    Outcome<std::filesystem::path> found = folder.Resolve(relative);
    if (!found && relative.find('%') != std::string::npos) {
        if (std::optional<std::string> decoded = URL::PercentDecoded(relative)) {
            if (Outcome<std::filesystem::path> unescaped = folder.Resolve(*decoded)) {
                found = std::move(unescaped);
            }
        }
    }
    if (!found) {
        return found.failure();
    }
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(found.value(), error);
    auto file = std::make_shared<std::ifstream>(found.value(), std::ios::binary);
    if (error || !*file) {
        return Failure{relative, "cannot be read"};
    }
    std::string type = ContentTypeForPath(found.value().string());
    // Streamed: movies and the player's WebAssembly are large.
    response.set_content_provider(static_cast<size_t>(size), type,
                                  [file](size_t offset, size_t length, httplib::DataSink& sink) {
                                      std::vector<char> chunk(std::min(length, kReadChunk));
                                      file->seekg(static_cast<std::streamoff>(offset));
                                      file->read(chunk.data(),
                                                 static_cast<std::streamsize>(chunk.size()));
                                      const auto got = static_cast<size_t>(file->gcount());
                                      // A file that shrank while being sent ends the response
                                      // instead of hanging it.
                                      return got > 0 && sink.write(chunk.data(), got);
                                  });
    return type;
}
