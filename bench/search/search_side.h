// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/support/ratio_report.h"
#include "data/data_module.h"
#include "search/search_window.h"

#include <QCheckBox>
#include <QLineEdit>

#include <memory>

// "&Buscar" for `text` among the titles, "Ignorar acentos" ticked or not, in a search window
// made before and closed after each search, untimed: every search window shows the data
// module's one search result, so none may stay open while another side runs. The rows found
// go to `records`.
inline PairSide searchInNewWindow(TDm1 &dm, const QString &text, bool ignoreAccents, int *records)
{
    auto window = std::make_shared<std::unique_ptr<TForm4>>();
    return {[window, &dm, records] {
                (*window)->ExecutaPesquisa();
                *records = dm.ADOQuery6.recordCount();
            },
            [window] { window->reset(); },
            [window, &dm, text, ignoreAccents] {
                // Made without a text, which would search at once.
                *window = std::make_unique<TForm4>(nullptr, QString(), SoftwareSearch, dm);
                (*window)
                    ->findChild<QCheckBox *>(QStringLiteral("IgnorarAcentos"))
                    ->setChecked(ignoreAccents);
                (*window)->findChild<QLineEdit *>(QStringLiteral("PesquisaAtual"))->setText(text);
                (*window)->TipoBusca = SoftwareSearch;
            }};
}
