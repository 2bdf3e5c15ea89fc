#pragma once

#include <QMainWindow>

/// The main window.
class Form1 final : public QMainWindow
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
};
