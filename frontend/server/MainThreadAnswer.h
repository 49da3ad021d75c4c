#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>

#include "foundation/RunLoop.h"

// Runs `work` on the main run loop and waits for its answer: the model lives on the main thread,
// the servers' workers never touch it. None when the answer did not come in time.
template <typename T>
std::optional<T> AskMainThread(std::function<T()> work, std::chrono::milliseconds timeout) {
    auto answer = std::make_shared<std::promise<T>>();
    std::future<T> answered = answer->get_future();
    RunLoop::Main().Post([answer, work = std::move(work)] { answer->set_value(work()); });
    if (answered.wait_for(timeout) != std::future_status::ready) {
        return std::nullopt;
    }
    try {
        return answered.get();
    } catch (const std::future_error&) {
        return std::nullopt;
    }
}
