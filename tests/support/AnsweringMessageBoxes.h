#pragma once

// Message boxes for console tests: records every box and answers it, with the answers
// queued by the test or else with the box's default button. Header only: the console's
// interface lives in hollimere_console, which the shared support library does not link.

#include "MessageBoxes.h"

#include <optional>

class AnsweringMessageBoxes : public MessageBoxes {
public:
    void answerNext(MsgBox::Button answer) { answers_.append(answer); }
    // The next box is closed with Escape.
    void dismissNext() { answers_.append(std::nullopt); }

    MsgBox::Button show(const MsgBox::Request& request) override {
        shown.append(request);
        if (answers_.isEmpty())
            return request.defaultButton;
        return answers_.takeFirst().value_or(MsgBox::Dismissed(request));
    }

    QList<MsgBox::Request> shown;

private:
    QList<std::optional<MsgBox::Button>> answers_;
};
