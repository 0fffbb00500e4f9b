#pragma once
// Re-expresses a parsed face model in the vertex numbering of the mesh made from it.
//
// The mesh need not keep the file's vertex order. Afterwards the base shape holds the rest
// positions of mesh vertices 0 to V - 1, and each morph target's entries hold mesh vertex
// numbers and differences from those rest positions. Runs once per model, after Parse().

#include "FaceModel.h"
#include "engine/RetainedMode.h"

#include <cstdint>

// Fetches mesh vertices 0 to V - 1 of `group` into a fixed array of 200 records and matches
// each base vertex to the first of them at exactly its position. When the fetch fails (the
// group has fewer than V vertices, for instance) the model is left unchanged.
void RemapMorphTargets(CFaceModel& model, rm::MeshVertices& mesh, uint32_t group);
