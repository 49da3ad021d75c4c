#include "browser/static/StaticEngine.h"

#include "browser/static/WebPageLoader.h"

std::unique_ptr<HostPage> StaticEngine::NewPage() {
    return std::make_unique<WebPageLoader>(m_options);
}
