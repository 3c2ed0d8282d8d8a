#pragma once

// A text box with a vertical scroll bar beside it whose up arrow raises the number shown.
// The box takes any text; only the scroll bar is held to its range.

#include <QWidget>

class QLineEdit;
class QScrollBar;

class Spinner : public QWidget {
    Q_OBJECT

public:
    // `name` names the text box; the spinner as a whole is `scrollName`.
    Spinner(const QString& name, const QString& scrollName, int minimum, int maximum,
            QWidget* parent = nullptr);

    // Shows `stored` as it stands and moves the scroll bar to the nearest value it can take.
    void showStored(const QString& stored);
    [[nodiscard]] QString text() const;
    void setText(const QString& text);
    [[nodiscard]] int minimum() const;
    // Where the scroll bar stands, as the number it shows.
    [[nodiscard]] int position() const;

private:
    // Moves the scroll bar, quietly, to the nearest value it can take to `text`.
    void moveBar(const QString& text);

    QLineEdit* box_;
    QScrollBar* bar_;
};
