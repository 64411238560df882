#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "config/failures.h"

namespace wavenard {

// The part of APath after its last folder separator.
QString ExtractFileName(const QString& APath);

// Whether another descriptor on the open file AFd is open, in this process or another: a
// recorder still writing a take must not have it sent half-written. Where the system cannot
// tell (no lease to be had: a file of another owner, a file system without leases) it is not;
// a holder of an flock counts as well, also where leases are not available.
bool IsOpenElsewhere(int AFd);

// The whole content of the file AFN. A file that another descriptor still holds open (the
// recorder writing it) or that another process holds flock-ed fails like a refused open; where
// the system cannot tell (no lease to be had), the file is read. Files of 2 GiB or more are
// refused. Throws EFileFailure.
QByteArray ReadVoiceTrackFile(const QString& AFN);

// The voice-track form: user, pass, action=wavenard, fn, pos and vt (the Base64 text of
// AContent in lines of 76 characters), every value query-encoded, joined with "&". Written in
// one pass into a byte array of exactly its final size.
QByteArray BuildUploadBody(const QString& AUser, const QString& APass, const QString& AFileName, int AIndex,
                           QByteArrayView AContent);

}  // namespace wavenard
