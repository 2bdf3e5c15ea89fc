#pragma once

#include <QString>

/// The product name: the window's caption and the settings section.
inline constexpr auto kProductName = u"Quillory";
inline constexpr auto kMakerHomePage = u"https://brenmoor.example/";
inline constexpr auto kMakerContactPage = u"https://brenmoor.example/contact";

/// The application title: the name cut before its last blank, again while it is
/// longer than 40 characters. A name without a blank is kept whole.
QString applicationTitleFor(const QString &productName);

/// The progress text while a folder's tree is added: the folder being read and, once
/// files are found, how many so far ("Scanning: d0042 (42,000 files)").
QString scanningText(const QString &folder, qsizetype filesFound);

/// The text of the "Help" box.
QString helpMessage();

/// Design units: 15 twips make one pixel at 96 dots per inch.
constexpr int twipsToPixels(int twips)
{
    return (twips + 7) / 15;
}

/// The busy marker and the other pointer kinds of the main window.
enum PointerKind : int { PointerDefault = 0, PointerBusy = 11, PointerHand = 99 };
