#pragma once

#include <QPushButton>

/// A push button that underlines the letter of its Alt shortcut in the caption it
/// draws, while its text stays the caption itself.
class KeyedButton final : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};
