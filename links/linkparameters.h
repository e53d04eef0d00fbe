#pragma once

#include <QString>

// The values of one parsed link. Every field is the text after its key, kept
// exactly as written: values go into requests unencoded.
struct LinkParameters
{
    QString ty;
    QString ro;
    QString url;
    QString id;
    QString dm;
    QString xl;
    QString ua;
    QString tr;
    QString ts;
    QString cs;
    QString requestUrl;
    QString sp;

    void clear();
    // Stores the value of part when part begins with a known key (letter case
    // ignored; "sp=" only when withStartPage). Returns whether it did.
    bool assign(const QString &part, bool withStartPage);
};
