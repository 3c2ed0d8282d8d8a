#pragma once

// Message boxes for console tests: records every box and answers it, with the answers
// queued by the test or else with the box's default button. Header only: the console's
// interface lives in hollimere_console, which the shared support library does not link.

#include "MessageBoxes.h"

class AnsweringMessageBoxes : public MessageBoxes {
public:
    void answerNext(MsgBox::Button answer) { answers_.append(answer); }

    MsgBox::Button show(const MsgBox::Request& request) override {
        shown.append(request);
        return answers_.isEmpty() ? request.defaultButton : answers_.takeFirst();
    }

    QList<MsgBox::Request> shown;

private:
    QList<MsgBox::Button> answers_;
};
