#include "ManifestWriter.h"

#include "A2sEncoder.h"
#include "Fleet.h"
#include "LabOptions.h"
#include "ReplyEncoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace lab::ManifestWriter {

namespace {

QString Text(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

QString Hex(const std::string& bytes) {
    return QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toHex());
}

const char* TrailerName(Trailer trailer) {
    switch (trailer) {
    case Trailer::None:
        return "none";
    case Trailer::Plain:
        return "plain";
    case Trailer::Mod:
        return "mod";
    }
    return "none";
}

const char* MasterModeName(MasterMode mode) {
    switch (mode) {
    case MasterMode::Normal:
        return "normal";
    case MasterMode::Repeat:
        return "repeat";
    case MasterMode::Endless:
        return "endless";
    }
    return "normal";
}

QJsonObject Details(const ServerContent& c) {
    QJsonObject d{
        {"name", Text(c.name)},
        {"nameHex", Hex(c.name)},
        {"map", Text(c.map)},
        {"game", Text(c.game)},
        {"description", Text(c.description)},
        {"players", c.players},
        {"maxPlayers", c.maxPlayers},
        {"protocol", c.protocol},
        {"type", QString(QLatin1Char(c.type))},
        {"os", QString(QLatin1Char(c.os))},
        {"password", c.password},
        {"trailer", TrailerName(c.trailer)},
    };
    if (c.trailer == Trailer::Mod) {
        d["mod"] = QJsonObject{
            {"infoUrl", Text(c.mod.infoUrl)},
            {"downloadUrl", Text(c.mod.downloadUrl)},
            {"version", c.mod.version},
            {"size", c.mod.size},
            {"serverOnly", c.mod.serverOnly != 0},
            {"customDll", c.mod.customDll != 0},
        };
    }
    if (c.trailer != Trailer::None) {
        d["secure"] = c.secure != 0;
        d["bots"] = c.bots;
    }
    return d;
}

QJsonObject Server(const Fleet& fleet, int index) {
    const ServerSummary& s = fleet.Summary(index);
    const ServerContent c = fleet.Content(index);
    QJsonArray players;
    for (const LabPlayer& p : c.playerList) {
        players.append(QJsonObject{
            {"index", p.index},
            {"name", Text(p.name)},
            {"nameHex", Hex(p.name)},
            {"frags", p.frags},
            {"fragsDelta", p.fragsDelta},
            {"time", p.timeTenths / 10.0},
        });
    }
    QJsonArray rules;
    for (const LabRule& r : c.rules)
        rules.append(QJsonObject{{"key", Text(r.key)}, {"value", Text(r.value)}});
    QJsonObject server{
        {"address", FormatIPv4(fleet.AddressOf(index))},
        {"port", fleet.Port()},
        {"latencyMs", s.latencyMs},
        {"behaviour", BehaviourName(s.behaviour)},
        {"details", Details(c)},
        {"players", players},
        {"rules", rules},
    };
    server["protocol"] = fleet.SpeaksA2s(index) ? "a2s" : "legacy";
    if (fleet.SpeaksA2s(index)) {
        const A2sInfo a2s = fleet.A2s(index);
        const auto fault = static_cast<A2sEncoder::SplitFault>(s.splitFault);
        // Text messages and oversized replies always come whole.
        const bool split =
            s.behaviour != Behaviour::Message && s.behaviour != Behaviour::Oversize &&
            (fault != A2sEncoder::SplitFault::None ||
             ReplyEncoder::Rules(c.rules).size() > size_t(fleet.Options().splitSize));
        server["wantsChallenge"] = s.wantsChallenge;
        server["infoForm"] = InfoFormName(s.infoForm);
        server["splitForm"] = A2sEncoder::SplitFormName(
            s.newerSplit ? A2sEncoder::SplitForm::Newer : A2sEncoder::SplitForm::HalfLife);
        server["rulesSplit"] = split;
        server["splitFault"] = A2sEncoder::SplitFaultName(fault);
        server["playerIndex"] = s.runningIndex ? "count" : "zero";
        QJsonObject info{
            {"appId", a2s.appId},
            {"version", Text(a2s.version)},
            {"extraFlags", a2s.extraFlags},
            {"gamePort", a2s.gamePort},
        };
        if (a2s.extraFlags & A2sEncoder::kSteamId)
            info["steamId"] = QString::number(a2s.steamId);
        if (a2s.extraFlags & A2sEncoder::kSpectator) {
            info["spectatorPort"] = a2s.spectatorPort;
            info["spectatorName"] = Text(a2s.spectatorName);
        }
        if (a2s.extraFlags & A2sEncoder::kKeywords)
            info["keywords"] = Text(a2s.keywords);
        if (a2s.extraFlags & A2sEncoder::kGameId)
            info["gameId"] = QString::number(a2s.gameId);
        server["a2s"] = info;
    }
    if (s.behaviour == Behaviour::Message) {
        server["message"] = Text(c.message);
        server["messageHex"] = Hex(c.message);
    }
    return server;
}

} // namespace

bool Write(const Fleet& fleet, const LabOptions& options, const QString& path, QString& error) {
    QJsonArray servers;
    for (int i = 0; i < fleet.Size(); ++i)
        servers.append(Server(fleet, i));
    QJsonObject root{
        {"master",
         QStringLiteral("%1:%2").arg(FormatIPv4(options.masterAddress)).arg(options.masterPort)},
        {"port", options.port},
        {"seed", QString::number(options.seed)},
        {"batchSize", options.batchSize},
        {"drainIntervalMs", options.drainIntervalMs},
        {"floodCount", options.floodCount},
        {"flapPeriodMs", options.flapPeriodMs},
        {"masterMode", MasterModeName(options.masterMode)},
        {"serversListed", options.serversListed},
        {"servers", servers},
        {"protocol", options.Steam() ? "steam" : "legacy"},
        // The wall clock (ms since 1970) when the lab started: the draining,
        // flapping and churning servers count their periods from it.
        {"startedAtMs", QString::number(fleet.StartWallMs())},
    };
    if (options.churnPeriodMs > 0) {
        // Enough periods for any test; later ones follow from the seed the
        // same way (Fleet::WanderersAt).
        constexpr int kPeriodsWritten = 256;
        QJsonArray names, schedule;
        for (int w = 0; w < Fleet::kWanderers; ++w)
            names.append(QString::fromStdString(Fleet::WandererName(w)));
        for (int epoch = 0; epoch < kPeriodsWritten; ++epoch) {
            QJsonArray at;
            for (const int index : fleet.WanderersAt(epoch))
                at.append(index);
            schedule.append(at);
        }
        root["churn"] = QJsonObject{
            {"periodMs", options.churnPeriodMs},
            {"wanderers", names},
            {"schedule", schedule},
        };
    }
    if (options.Steam()) {
        const QString host = FormatIPv4(options.masterAddress);
        root["steamMaster"] = QStringLiteral("%1:%2").arg(host).arg(options.steamMasterPort);
        root["web"] = QJsonObject{
            {"url", QStringLiteral("http://%1:%2").arg(host).arg(options.webPort)},
            {"port", options.webPort},
            {"key", options.webKey},
        };
        root["challengeFraction"] = options.challengeFraction;
        root["splitSize"] = options.splitSize;
    }
    // Indented reads well; a huge fleet is written compact to stay a
    // reasonable size.
    const auto format = fleet.Size() > 10000 ? QJsonDocument::Compact : QJsonDocument::Indented;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson(format)) < 0 ||
        !file.commit()) {
        error = QStringLiteral("cannot write the manifest %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace lab::ManifestWriter
