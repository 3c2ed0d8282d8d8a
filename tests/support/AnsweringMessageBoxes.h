#pragma once

// Records every message box and answers it as the test queued, else with its default button.
// Header only: the support library does not link the console's.

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
