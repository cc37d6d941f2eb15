// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/catalogue_address.h"

QString Catalogue::filePath(const QString &directory)
{
    return directory + u'/' + fileName();
}

QString Catalogue::connectionString(const QString &directory)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=") +
           filePath(directory) + QStringLiteral(";") + QStringLiteral("Mode=Share Deny None;") +
           QStringLiteral("Jet OLEDB:Database Password=\"\";") +
           QStringLiteral("Jet OLEDB:Engine Type=5;") +
           QStringLiteral("Jet OLEDB:Database Locking Mode=1;") +
           QStringLiteral("Jet OLEDB:Global Partial Bulk Ops=2;") +
           QStringLiteral("Jet OLEDB:Global Bulk Transactions=1;") +
           QStringLiteral("Jet OLEDB:New Database Password=\"\";") +
           QStringLiteral("Jet OLEDB:Create System Database=False;") +
           QStringLiteral("Jet OLEDB:Encrypt Database=False;") +
           QStringLiteral("Jet OLEDB:Compact Without Replica Repair=False;") +
           QStringLiteral("Jet OLEDB:SFP=False;");
}

QString Catalogue::chosenConnectionString(const QString &directory)
{
    const QString server = qEnvironmentVariable("QUIVEL_DATABASE").trimmed();
    return server.isEmpty() ? connectionString(directory) : server;
}
