#pragma once

#include <memory>

#include "swf/SWFBaseParse.h"

// The process-wide parser. Its one client replaces it for every file it inspects, so no state of
// one movie can leak into the facts shown for the next.
class CSWFParser final : public CSWFBaseParse {
public:
    static CSWFParser* Instance();
    static void ReleaseInstance();

private:
    static std::unique_ptr<CSWFParser> _staticCSWFParse;
};
