#include "treemodelpieces.h"

#include "downloads/treemodel.h"

TreeModelPieces::TreeModelPieces(TreeModel *model)
    : m_model(model)
{ }

bool TreeModelPieces::pieceReady(QString hash, int fileIndex, int piece, bool requestPriority)
{
    if (!m_model)
        return false;
    const PieceCheck check = m_model->checkPieces(hash, fileIndex, piece);
    m_model->requestPieces(check, requestPriority);
    return check.ready;
}

bool TreeModelPieces::hasLastPiece(QString hash, int fileIndex)
{
    return m_model && m_model->hasLastPiece(hash, fileIndex);
}
