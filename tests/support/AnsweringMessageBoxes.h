#pragma once

// Records every message box and answers it as the test queued, else with its default button.
// Header only: the support library does not link the console's.

#include "MessageBoxes.h"

#include <optional>

class AnsweringMessageBoxes : public MessageBoxes {
public:
    // No answer: the box is closed with Escape.
    void answerNext(std::optional<MsgBox::Button> answer) { answers_.append(answer); }

    MsgBox::Button show(const MsgBox::Request& request) override {
        shown.append(request);
        return answers_.isEmpty() ? request.defaultButton
                                  : answers_.takeFirst().value_or(MsgBox::Dismissed(request));
    }

    QList<MsgBox::Request> shown;

private:
    QList<std::optional<MsgBox::Button>> answers_;
};
