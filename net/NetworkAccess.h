// The program's QNetworkAccessManager, for the requests Qt's network access
// sends (MusicBrainz, cover art): one per thread, as a manager serves the
// thread it lives on. The user-interface thread's is made on first use and
// kept until the application object ends: a manager destroyed while a server
// floods it waits for Qt's network thread, and that wait would freeze the
// window. Another thread's (a drive's rip) ends with that thread.
#pragma once

#include <QNetworkReply>
#include <QPointer>

class QNetworkAccessManager;
class QNetworkRequest;
class QNetworkProxy;

QNetworkAccessManager& ProgramNetwork();
// Sends a GET through the program's manager with the given proxy.
QNetworkReply* ProgramNetworkGet(const QNetworkRequest& request, const QNetworkProxy& proxy);
// Ends a running request without a word to its receiver: no slot of the
// receiver's runs for it any more.
void DropReply(QPointer<QNetworkReply>& reply, QObject* receiver);
