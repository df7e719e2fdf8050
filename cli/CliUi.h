#pragma once
// The terminal backend as the command-line program uses it: the worker's boxes and questions are
// handed to the UI thread, in order with the messages the worker posted before them, so that the
// summary follows the last difference line on standard output as it would in the window.
#include "cli/ConsoleUi.h"
#include "platform/StopSignals.h"

class CCliUi : public platform::ConsoleUi {
public:
    int MessageBox(const platform::BoxSpec& box) override {
        CloseDisplayBatch();
        int nAnswer = IDOK;
        RunOnUiThread([&] { nAnswer = ConsoleUi::MessageBox(box); });
        return nAnswer;
    }
    int OverwriteQuestion(const platform::DialogTemplate& dlg, const std::string& message) override {
        CloseDisplayBatch();
        int nAnswer = IDCANCEL;
        RunOnUiThread([&] { nAnswer = ConsoleUi::OverwriteQuestion(dlg, message); });
        return nAnswer;
    }
    // The worker never takes SIGINT or SIGTERM: they reach this thread, which stops the run, and
    // interrupt a question that waits for the terminal there.
    bool StartWorker(std::function<int()> proc) override {
        platform::CStopSignalsBlocked blocked;
        return ConsoleUi::StartWorker(std::move(proc));
    }
};
