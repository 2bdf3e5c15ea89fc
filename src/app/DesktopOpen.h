#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Desktop;
class QUrl;

/// The desktop's handlers for a folder or a web address, in the order they are tried:
/// each is a program and the arguments that come before the address.
const QList<QStringList> &desktopOpeners();

/// Opens a folder or a web address with the first handler that is on PATH and hands it
/// on to an application (Desktop::runOpener), never through a shell; false when none did.
bool OpenWithDesktop(Desktop &desktop, const QUrl &url);

/// The message when a folder or a web address could not be opened: it names the folder
/// or the address, and each handler with why it was passed over.
QString notOpenedText(Desktop &desktop, const QUrl &url);
