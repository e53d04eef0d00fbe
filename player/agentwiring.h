#pragma once

class ClientAgent;
class LinkProcessor;
class TreeModel;

// How the downloads list and the link handling meet the core's agent: the
// requests they send and the replies that belong to them. The window wires
// itself with it, and so does the test that records the wire.
class AgentWiring
{
public:
    AgentWiring() = delete;

    static void connectDownloads(ClientAgent *agent, TreeModel *model, LinkProcessor *links);
};
