#include "foundation/defaults/StringsFile.h"

#include <cerrno>
#include <cstring>

#include "foundation/Log.h"
#include "foundation/defaults/FileBytes.h"
#include "foundation/defaults/StringsParser.h"

StringsFile StringsFile::Parse(std::string_view text) {
    return StringsParser(text).Run();
}

std::optional<StringsFile> StringsFile::Load(const std::string& path) {
    Outcome<std::string> bytes = ReadFileBytes(path);
    if (!bytes) {
        return std::nullopt;
    }
    StringsFile table = Parse(bytes.value());
    if (!table.ok()) {
        std::string line("StringsFile: ");
        line += path;
        line += ':';
        line += std::to_string(table.errorLine());
        line += ": ";
        line += table.errorReason();
        line += "; kept the ";
        line += std::to_string(table.entries().size());
        line += " entries before it";
        NSLog(line);
    }
    return table;
}
