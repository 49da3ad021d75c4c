#pragma once

#include <memory>
#include <string>

#include "browser/PageEngine.h"
#include "browser/PageFetcher.h"

// The engine without scripts: each page is a WebPageLoader, done before load() returns.
class StaticEngine final : public PageEngine {
public:
    explicit StaticEngine(PageFetcher::Options options = {}) : m_options(options) {}

    std::unique_ptr<HostPage> NewPage() override;
    std::string description() const override { return "static (the pages' scripts do not run)"; }

private:
    PageFetcher::Options m_options;
};
