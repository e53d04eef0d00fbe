#include "agentwiring.h"

#include "corelink/clientagent.h"
#include "downloads/torrentpieces.h"
#include "downloads/treemodel.h"
#include "links/linkprocessor.h"

void AgentWiring::connectDownloads(ClientAgent *agent, TreeModel *model, LinkProcessor *links)
{
    // requests: each sender straight to the agent
    QObject::connect(links, &LinkProcessor::sessionRequest, agent, &ClientAgent::sessionRequest);
    QObject::connect(model, &TreeModel::sessionRequest, agent, &ClientAgent::sessionRequest);

    // replies: each to its owner; an added download passes the auto-play decision first
    QObject::connect(agent, &ClientAgent::startupTorrent, model, &TreeModel::startupTorrent);
    QObject::connect(agent, &ClientAgent::addedReturn, links, &LinkProcessor::addedReturnPrepProcess);
    QObject::connect(links, &LinkProcessor::addedReturn, model,
        qOverload<int, QList<QStringList>, bool>(&TreeModel::addedReturn));
    QObject::connect(agent, &ClientAgent::torrentDataSet, model, &TreeModel::torrentDataSet);
    QObject::connect(agent, &ClientAgent::webRequestCheck, links, &LinkProcessor::webRequestCheckProcess);
    QObject::connect(agent, &ClientAgent::prepBuildItemForUrl, model, &TreeModel::prepBuildItemForUrl);
    QObject::connect(agent, &ClientAgent::buildTemporaryItem, model, &TreeModel::buildTemporaryItem);
    QObject::connect(agent, &ClientAgent::addFailed, model, &TreeModel::addFailed);
    QObject::connect(agent, &ClientAgent::connectionLost, model, &TreeModel::clearRates);

    // the pieces' owner reads status lists and finished pieces itself, after the list
    TorrentPieces *pieces = model->pieces();
    QObject::connect(agent, &ClientAgent::torrentDataSet, pieces, &TorrentPieces::statusReceived);
    QObject::connect(agent, &ClientAgent::pieceFinished, pieces, &TorrentPieces::pieceFinished);
    QObject::connect(pieces, &TorrentPieces::sessionRequest, agent, &ClientAgent::sessionRequest);
}
