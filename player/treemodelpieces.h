#pragma once

#include "player/piecesource.h"

#include <QPointer>

class TreeModel;

// The downloads model as the player's piece source.
class TreeModelPieces : public PieceSource
{
public:
    explicit TreeModelPieces(TreeModel *model);
    bool pieceReady(QString hash, int fileIndex, int piece, bool requestPriority) override;
    bool hasLastPiece(QString hash, int fileIndex) override;

private:
    QPointer<TreeModel> m_model;
};
