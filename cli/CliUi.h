#pragma once
// The terminal backend as the command-line program uses it: the worker's boxes and questions are
// handed to the UI thread, in order with the messages the worker posted before them, so that the
// summary follows the last difference line on standard output as it would in the window.
#include "cli/ConsoleUi.h"
#include "platform/StopSignals.h"

#include <algorithm>

class CCliUi : public cli::ConsoleUi {
public:
    ~CCliUi() override { JoinWorker(); }

    int MessageBox(const ui::BoxSpec& box) override {
        return AskOnUiThread([&] { return ConsoleUi::MessageBox(box); },
                             ui::FallbackAnswer(box));
    }
    int OverwriteQuestion(const ui::DialogTemplate& dlg, const std::string& message) override {
        return AskOnUiThread([&] { return ConsoleUi::OverwriteQuestion(dlg, message); }, IDCANCEL);
    }
    // The worker never takes SIGINT or SIGTERM: they reach this thread, which stops the run, and
    // interrupt a question that waits for the terminal there.
    bool StartWorker(std::function<int()> proc) override {
        platform::CStopSignalsBlocked blocked;
        return ConsoleUi::StartWorker(std::move(proc));
    }

protected:
    bool OutputStopped() override { return platform::StopSignal() != 0; }
    // A signal handler can only set a flag, which nothing can wake a wait for: the UI thread looks
    // at it this often while it waits.
    std::optional<int> OnIdle() override {
        constexpr int kSignalPollMs = 20;
        return std::min(ConsoleUi::OnIdle().value_or(kSignalPollMs), kSignalPollMs);
    }
};
