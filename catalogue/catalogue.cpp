// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"

#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/sqlite/sqlite_file.h"
#include "data/engine/sqlite/statement.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <unistd.h>

namespace {

// Runs one INSERT again and again, a row of values at a time.
class Inserter
{
public:
    Inserter(SqliteFile &file, const char *sql)
        : m_statement(file, QString::fromUtf8(sql))
    {}

    void row(std::initializer_list<QVariant> values)
    {
        int i = 1;
        for (const QVariant &v : values)
            m_statement.bind(i++, v);
        m_statement.execute();
        m_statement.reset();
    }

private:
    Statement m_statement;
};

} // namespace

void Catalogue::createWith(const QString &path, const std::function<void(SqliteFile &)> &fill)
{
    if (QFileInfo::exists(path))
        throw Exception(QStringLiteral("O arquivo '%1' já existe; nada foi alterado").arg(path));
    const QString temporary =
        path + QStringLiteral(".tmp-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(temporary);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    try {
        std::unique_ptr<SqliteFile> opened;
        try {
            opened = std::make_unique<SqliteFile>(temporary, SqliteFile::Option::Create);
        } catch (const SqliteFile::OpenError &e) {
            throw Exception(QStringLiteral("Não foi possível criar o arquivo '%1' (%2)")
                                .arg(temporary, e.engineText()));
        }
        SqliteFile &file = *opened;
        file.run(QStringLiteral("BEGIN"));
        file.run(Schema::sqliteDdl());
        fill(file);
        file.run(QStringLiteral("COMMIT"));
        file.close();
    } catch (...) {
        QFile::remove(temporary);
        throw;
    }
    if (::link(temporaryName.constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        QFile::remove(temporary);
        throw Exception(QStringLiteral("Não foi possível criar o arquivo '%1' (%2)")
                            .arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
    QFile::remove(temporary);
}

void Catalogue::createEmpty(const QString &path)
{
    createWith(path, [](SqliteFile &) {});
}

void Catalogue::createSample(const QString &path)
{
    createWith(path, [](SqliteFile &file) {
        static const char *const types[] = {"CD", "DVD", "BLURAY", "PENDRIVE", "HD EXTERNO"};
        static const char *const themes[] = {"Instaladores", "Jogos",      "Utilitários",
                                             "Escritório",   "Multimídia", "Programação",
                                             "Backup",       "Drivers"};
        static const char *const places[] = {"Estante da sala",       "Gaveta do escritório",
                                             "Caixa azul no armário", "Mochila",
                                             "Emprestado ao João",    "Cofre"};
        static const char *const programs[] = {"LibreOffice",
                                               "GIMP",
                                               "Inkscape",
                                               "Blender",
                                               "VLC",
                                               "Audacity",
                                               "Firefox",
                                               "Thunderbird",
                                               "7-Zip",
                                               "Notepad++",
                                               "Krita",
                                               "OBS Studio",
                                               "HandBrake",
                                               "Shotcut",
                                               "Kdenlive",
                                               "Scribus",
                                               "Calibre",
                                               "FileZilla",
                                               "KeePassXC",
                                               "VirtualBox",
                                               "Python",
                                               "Git",
                                               "Eclipse",
                                               "Code::Blocks",
                                               "Lazarus",
                                               "SuperTuxKart",
                                               "0 A.D.",
                                               "Wesnoth",
                                               "Xonotic",
                                               "Minetest",
                                               "Ação Total",
                                               "Coração Valente",
                                               "Mão na Massa",
                                               "Pôquer Clássico",
                                               "Dicionário Aurélio"};
        std::mt19937 random(20261210);
        Inserter media(file, "INSERT INTO cds (titulo, obs, tipo, local) VALUES (?, ?, ?, ?)");
        int mediaCount = 0;
        for (const char *type : types) {
            for (int n = 1; n <= 8; ++n) {
                const QString theme = QString::fromUtf8(themes[(mediaCount + n) % 8]);
                const QString title = QStringLiteral("%1 %2 %3")
                                          .arg(theme, QString::fromUtf8(type))
                                          .arg(n, 2, 10, QLatin1Char('0'));
                const QString remark = n % 3 == 0 ? QString()
                                                  : QStringLiteral("Gravado em %1/20%2")
                                                        .arg(1 + n % 12)
                                                        .arg(10 + mediaCount % 15);
                media.row({title, remark.isEmpty() ? QVariant() : QVariant(remark),
                           QString::fromUtf8(type), QString::fromUtf8(places[random() % 6])});
                ++mediaCount;
            }
        }
        Inserter titles(file, "INSERT INTO softs (nome, descricao, midia) VALUES (?, ?, ?)");
        const int programCount = int(std::size(programs));
        for (int i = 0; i < 320; ++i) {
            // Media whose code ends in 0 or 7 hold nothing, so empty media are covered.
            int medium = 0;
            do {
                medium = 1 + int(random() % unsigned(mediaCount));
            } while (medium % 10 == 0 || medium % 10 == 7);
            const QString name = QStringLiteral("%1 %2.%3")
                                     .arg(QString::fromUtf8(programs[i % programCount]))
                                     .arg(1 + i / programCount)
                                     .arg(i % 10);
            const QString description =
                QStringLiteral("Versão %1 para %2; instalação %3")
                    .arg(1 + i / programCount)
                    .arg(i % 2 ? QStringLiteral("Linux") : QStringLiteral("Windows"))
                    .arg(i % 3 ? QStringLiteral("completa") : QStringLiteral("mínima"));
            titles.row({name, description, medium});
        }
    });
}

void Catalogue::createLarge(const QString &path, int mediaCount, int titleCount)
{
    createWith(path, [mediaCount, titleCount](SqliteFile &file) {
        static const char *const types[] = {"CD", "DVD", "BLURAY", "PENDRIVE", "HD EXTERNO"};
        Inserter media(file, "INSERT INTO cds (titulo, obs, tipo, local) VALUES (?, ?, ?, ?)");
        for (int i = 1; i <= mediaCount; ++i) {
            media.row({QStringLiteral("Mídia %1").arg(i), QStringLiteral("Observação %1").arg(i),
                       QString::fromUtf8(types[i % 5]), QStringLiteral("Estante %1").arg(i % 97)});
        }
        Inserter titles(file, "INSERT INTO softs (nome, descricao, midia) VALUES (?, ?, ?)");
        std::mt19937 random(42);
        for (int i = 1; i <= titleCount; ++i) {
            titles.row({QStringLiteral("Aplicativo %1 edição %2").arg(i).arg(random() % 1000),
                        QStringLiteral("Descrição do aplicativo número %1, versão %2")
                            .arg(i)
                            .arg(random() % 100),
                        1 + int(random() % unsigned(std::max(1, mediaCount)))});
        }
    });
}
