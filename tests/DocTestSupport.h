#pragma once

#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "core/UpdateHint.h"
#include "tests/ScriptedUI.h"

// A view that writes down every notification it gets.
struct RecordingView : IDocView {
    struct Entry {
        int hint;
        bool hasObject;
        uint32_t data;
        ServerInfo* server;
        SearchQuery* query;
    };
    void OnUpdate(IDocView*, int hint, const CUpdateHint* pHint) override {
        entries.push_back({hint, pHint != nullptr, pHint ? pHint->m_dwData : 0,
                           pHint ? pHint->m_pServer : nullptr, pHint ? pHint->m_pQuery : nullptr});
    }
    int Count(int hint) const {
        return int(std::count_if(entries.begin(), entries.end(),
                                 [hint](const Entry& e) { return e.hint == hint; }));
    }
    std::vector<int> Hints() const {
        std::vector<int> out;
        for (const Entry& e : entries)
            out.push_back(e.hint);
        return out;
    }
    std::vector<Entry> entries;
};

// A document with a settings file of its own in a temporary folder, a
// scripted user and a recording view.
class DocFixture {
public:
    DocFixture()
        : settings(std::make_unique<CSettings>(dir.filePath("settings.ini").toStdString())),
          doc(std::make_unique<CScoutwireDoc>(*settings, ui)) {
        doc->AddView(&view);
    }
    ~DocFixture() { doc->RemoveView(&view); }

    ServerInfo* AddServer(uint32_t address, uint16_t port, uint32_t groups = GROUP_WON) {
        ServerInfo* s = doc->AddFavourite(address, port, false);
        s->m_dwFlags = groups;
        return s;
    }

    QTemporaryDir dir;
    ScriptedUI ui;
    std::unique_ptr<CSettings> settings;
    std::unique_ptr<CScoutwireDoc> doc;
    RecordingView view;
};
