#include "app/Form1.h"

#include <QLabel>

using namespace Qt::StringLiterals;

Form1::Form1(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Quillory"_s);
    // 8040 x 10125 twips at 15 twips to a pixel.
    resize(536, 675);
    setCentralWidget(new QLabel(u"Quillory"_s, this));
}
