// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/password_store.h"

#include <QFileInfo>

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <cstring>

namespace {

const SecretSchema *schema()
{
    static const SecretSchema catalogue = {
        "io.github.quivel.Quivel.Catalogue",
        SECRET_SCHEMA_NONE,
        {
            {"servidor", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"banco", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"conta", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &catalogue;
}

// Without an address nor the usual socket, GLib would try to start a bus of its own through
// X11, leaving a process behind for a program that only wanted to know.
bool sessionBusNamed()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

bool storeAnswers()
{
    if (!sessionBusNamed())
        return false;
    GError *error = nullptr;
    // Opening a session asks the store itself, which a bus without one cannot answer.
    SecretService *service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (error) {
        g_error_free(error);
        if (service)
            g_object_unref(service);
        return false;
    }
    const bool open = service && secret_service_get_session_algorithms(service) != nullptr;
    if (service)
        g_object_unref(service);
    return open;
}

} // namespace

bool PasswordStore::available()
{
    static const bool answers = storeAnswers();
    return answers;
}

QByteArray PasswordStore::lookup(const QString &server, const QString &database,
                                 const QString &account)
{
    if (!available())
        return {};
    GError *error = nullptr;
    gchar *found = secret_password_lookup_sync(
        schema(), nullptr, &error, "servidor", server.toUtf8().constData(), "banco",
        database.toUtf8().constData(), "conta", account.toUtf8().constData(), nullptr);
    if (error)
        g_error_free(error);
    if (!found)
        return {};
    QByteArray password(found);
    secret_password_free(found); // wipes its copy
    return password;
}

bool PasswordStore::store(const QString &server, const QString &database, const QString &account,
                          const QByteArray &password)
{
    if (!available() || password.isEmpty())
        return false;
    // The label the desktop's password manager shows: never the password.
    const QByteArray label =
        QStringLiteral("Quivel: %1 em %2/%3").arg(account, server, database).toUtf8();
    GError *error = nullptr;
    const gboolean kept = secret_password_store_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.constData(), password.constData(), nullptr,
        &error, "servidor", server.toUtf8().constData(), "banco", database.toUtf8().constData(),
        "conta", account.toUtf8().constData(), nullptr);
    if (error)
        g_error_free(error);
    return kept;
}

void PasswordStore::forget(const QString &server, const QString &database, const QString &account)
{
    if (!available())
        return;
    GError *error = nullptr;
    secret_password_clear_sync(schema(), nullptr, &error, "servidor", server.toUtf8().constData(),
                               "banco", database.toUtf8().constData(), "conta",
                               account.toUtf8().constData(), nullptr);
    if (error)
        g_error_free(error);
}
