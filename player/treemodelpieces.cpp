#include "treemodelpieces.h"

#include "downloads/treemodel.h"

TreeModelPieces::TreeModelPieces(TreeModel *model)
    : m_model(model)
{ }

bool TreeModelPieces::pieceReady(QString hash, int fileIndex, int piece, bool requestPriority)
{
    return m_model && m_model->pieceReady(hash, fileIndex, piece, requestPriority);
}

bool TreeModelPieces::hasLastPiece(QString hash, int fileIndex)
{
    return m_model && m_model->hasLastPiece(hash, fileIndex);
}
