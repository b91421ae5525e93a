// Index lists shared by every patch at one detail level. Level L uses every
// 2^L-th vertex row and column; point (c, r) of the level is patch vertex
// (c * s, r * s) with s = 2^L. Edge lists exist twice: regular, using every
// point of the edge, and stitched, using only the even ones so the edge meets
// a neighbour drawn one level coarser without a crack.
#include "terrain/terrain_build.h"

namespace terrain {

LodListSizes LodSizes(int n) {
  LodListSizes sizes;
  sizes.strip = 2 * n * (n + 1);
  sizes.scratch = 3 * n * n;
  sizes.stitched = ((n - 1) * 9 - 3) / 2;
  sizes.regular = (2 * n - 2) * 3;
  sizes.interior = 2 * (n - 1) * (n - 2);
  return sizes;
}

namespace {

class Emitter {
 public:
  Emitter(int patchVerts, int step) : m_Verts(patchVerts), m_Step(step) {}
  void operator()(std::vector<std::uint16_t>& list, int c, int r) const {
    list.push_back(static_cast<std::uint16_t>(r * m_Step * m_Verts + c * m_Step));
  }

 private:
  int m_Verts;
  int m_Step;
};

}  // namespace

void BuildLodIndexLists(int patchVerts, int level, LodIndexLists* lists) {
  *lists = LodIndexLists();
  const int s = 1 << level;
  const int n = (patchVerts - 1) / s;
  const Emitter emit(patchVerts, s);
  auto tri = [&emit](std::vector<std::uint16_t>& list, int c0, int r0, int c1, int r1, int c2, int r2) {
    emit(list, c0, r0);
    emit(list, c1, r1);
    emit(list, c2, r2);
  };
  const LodListSizes sizes = LodSizes(n);

  // Whole patch: rows run alternately left to right and right to left; each
  // turn repeats its turning vertex, adding two degenerate triangles.
  lists->strip.reserve(sizes.strip);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c <= n; ++c) {
      const int col = (r % 2 == 0) ? c : n - c;
      emit(lists->strip, col, r);
      emit(lists->strip, col, r + 1);
    }
  }

  // Stitched edges: for each pair of cells along the edge, a fan from the
  // even outer points to the inner row, then the triangle closing the gap to
  // the previous pair. The last pair ends in one triangle, which takes the
  // outer half of the corner cell.
  for (int t = 0; t < n - 1; t += 2) {
    if (t < n - 2) {
      tri(lists->Ti, t, 0, t + 1, 1, t + 2, 1);
      tri(lists->Ti, t, 0, t + 2, 1, t + 2, 0);
    } else {
      tri(lists->Ti, t, 0, t + 1, 1, t + 2, 0);
    }
    if (t != 0) tri(lists->Ti, t, 0, t, 1, t + 1, 1);
  }
  for (int t = 0; t < n - 1; t += 2) {
    if (t < n - 2) {
      tri(lists->bi, t, n, t + 1, n - 1, t + 2, n - 1);
      tri(lists->bi, t, n, t + 2, n - 1, t + 2, n);
    } else {
      tri(lists->bi, t, n, t + 1, n - 1, t + 2, n);
    }
    if (t != 0) tri(lists->bi, t, n, t, n - 1, t + 1, n - 1);
  }
  for (int t = 0; t < n - 1; t += 2) {
    if (t < n - 2) {
      tri(lists->li, 0, t, 1, t + 1, 1, t + 2);
      tri(lists->li, 0, t, 1, t + 2, 0, t + 2);
    } else {
      tri(lists->li, 0, t, 1, t + 1, 0, t + 2);
    }
    if (t != 0) tri(lists->li, 0, t, 1, t, 1, t + 1);
  }
  for (int t = 0; t < n - 1; t += 2) {
    if (t < n - 2) {
      tri(lists->ri, n, t, n - 1, t + 1, n - 1, t + 2);
      tri(lists->ri, n, t, n - 1, t + 2, n, t + 2);
    } else {
      tri(lists->ri, n, t, n - 1, t + 1, n, t + 2);
    }
    if (t != 0) tri(lists->ri, n, t, n - 1, t, n - 1, t + 1);
  }

  // Interior: the square from point (1, 1) to (n - 1, n - 1), a strip like
  // the whole patch's but starting right to left on even rows.
  for (int r = 1; r <= n - 2; ++r) {
    for (int c = 1; c <= n - 1; ++c) {
      const int col = (r % 2 == 1) ? c : n - c;
      emit(lists->Clp, col, r);
      emit(lists->Clp, col, r + 1);
    }
  }

  // Regular edges: two triangles per cell, except that the first and last
  // cells give up the half that belongs to the neighbouring edge list.
  for (int t = 0; t < n; ++t) {
    if (t == n - 1) {
      tri(lists->Tr, t, 0, t + 1, 0, t, 1);
    } else {
      tri(lists->Tr, t, 0, t + 1, 0, t + 1, 1);
      if (t != 0) tri(lists->Tr, t, 0, t, 1, t + 1, 1);
    }
  }
  for (int t = 0; t < n; ++t) {
    if (t == n - 1) {
      tri(lists->Br, t, n, t + 1, n, t, n - 1);
    } else {
      tri(lists->Br, t, n, t + 1, n, t + 1, n - 1);
      if (t != 0) tri(lists->Br, t, n, t, n - 1, t + 1, n - 1);
    }
  }
  for (int t = 0; t < n; ++t) {
    if (t == n - 1) {
      tri(lists->lr, 0, t, 1, t, 0, t + 1);
    } else {
      tri(lists->lr, 0, t, 0, t + 1, 1, t + 1);
      if (t != 0) tri(lists->lr, 0, t, 1, t, 1, t + 1);
    }
  }
  for (int t = 0; t < n; ++t) {
    if (t == n - 1) {
      tri(lists->rr, n, t, n - 1, t, n, t + 1);
    } else {
      tri(lists->rr, n, t, n, t + 1, n - 1, t + 1);
      if (t != 0) tri(lists->rr, n, t, n - 1, t, n - 1, t + 1);
    }
  }
}

}  // namespace terrain
