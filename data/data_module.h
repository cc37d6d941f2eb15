// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/connection.h"
#include "data/data_source.h"
#include "data/fields.h"
#include "data/query.h"

#include <QObject>

#include <functional>

// Holds the one connection and every query and data source the windows share. Windows reach
// the catalogue only through these members.
class TDm1 : public QObject
{
    Q_OBJECT

public:
    // Shows one line to the user; the data module reports its opening failure through it.
    using MessageWindow = std::function<void(const QString &)>;

    // Connects and opens the queries at once (DataModuleCreate), reading the current
    // directory as it is now.
    explicit TDm1(MessageWindow showMessage, QObject *parent = nullptr);

    TADOConnection ADOConnection1;

    TADOQuery ADOQuery1;
    TAutoIncField ADOQuery1codigo;
    TWideStringField ADOQuery1titulo;
    TWideStringField ADOQuery1obs;
    TWideStringField ADOQuery1tipo;
    TWideStringField ADOQuery1local;
    TDataSource DataSource1;

    TADOQuery ADOQuery2;
    TAutoIncField ADOQuery2numero;
    TWideStringField ADOQuery2nome;
    TWideStringField ADOQuery2descricao;
    TIntegerField ADOQuery2midia;
    TIntegerField ADOQuery2categoria;
    TDataSource DataSource2;

    TADOQuery ADOQuery3;
    TAutoIncField ADOQuery3codigo;
    TWideStringField ADOQuery3titulo;
    TWideStringField ADOQuery3obs;
    TWideStringField ADOQuery3tipo;
    TWideStringField ADOQuery3local;
    TDataSource DataSource3; // bound to nothing

    TADOQuery ADOQuery4;
    TDataSource DataSource4;
    TADOQuery ADOQuery5;
    TDataSource DataSource5;
    TADOQuery ADOQuery6;
    TDataSource DataSource6;

    // The kinds of content, in code order: the software window's list and the kinds window.
    TADOQuery ADOQuery7;
    TAutoIncField ADOQuery7id_categoria;
    TWideStringField ADOQuery7nome_categoria;
    TDataSource DataSource7;

    void DataModuleCreate();

private:
    // Lists refresh themselves, and a record shown is read again, when another program
    // changed them; on a server only.
    void otherProgramsChanged(const QList<CatalogueChange> &changes);

    MessageWindow m_showMessage;
};
