#include "swf/CSWFParser.h"

std::unique_ptr<CSWFParser> CSWFParser::_staticCSWFParse;

CSWFParser* CSWFParser::Instance() {
    if (!_staticCSWFParse) {
        _staticCSWFParse = std::make_unique<CSWFParser>();
    }
    return _staticCSWFParse.get();
}

void CSWFParser::ReleaseInstance() {
    _staticCSWFParse.reset();
}
