#ifndef LIVESERIES_H
#define LIVESERIES_H

#include <qwt_series_data.h>

#include <QPointF>
#include <QRectF>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The samples of one live value over a whole measurement run.
//
// A run may last days, so nothing here may cost time in proportion to the
// run length once a sample is stored:
// - samples live in fixed-size chunks, so appending never copies the run
//   and reserved but unused room stays below one chunk;
// - the bounding rectangle that the plot's automatic scaling asks for is
//   kept up to date as samples arrive;
// - a min/max index over aligned blocks of 64, 512, 4096, ... samples
//   answers "lowest and highest sample of an index range" in logarithmic
//   time, which is what the live curve needs to draw a pixel column without
//   visiting its samples.
//
// x is expected to be non-decreasing (whole seconds since the start of the
// run). When it is not, the series keeps working but says so through
// isOrderedByX(), and the curve then draws every sample.
class LiveSeries : public QwtSeriesData<QPointF>
{
public:
    static constexpr size_t npos = size_t(-1);

    // The first lowest and the first highest finite y in a range, and their
    // indexes; the indexes are npos when the range holds no finite y.
    struct Extremes
    {
        size_t lowest = npos;
        size_t highest = npos;
        double lowestY = 0.0;
        double highestY = 0.0;
    };

    LiveSeries() = default;

    void append(const QPointF &sample);
    // Forgets the run and gives its memory back.
    void clear();

    size_t size() const override { return m_size; }
    QPointF sample(size_t i) const override { return QPointF(xAt(i), yAt(i)); }
    // Same convention as qwtBoundingRect(): samples with a non-finite
    // coordinate are left out, and an empty series gives a rectangle of
    // negative size that automatic scaling ignores.
    QRectF boundingRect() const override;

    double xAt(size_t i) const { return m_chunks[i >> ChunkBits].x[i & ChunkMask]; }
    double yAt(size_t i) const { return m_chunks[i >> ChunkBits].y[i & ChunkMask]; }

    bool isOrderedByX() const { return m_orderedByX; }

    // Lowest and highest y among the samples first .. end - 1.
    Extremes extremes(size_t first, size_t end) const;

    // The first index in first .. end - 1 whose x fails `holds`, or end.
    // `holds` must be true for the x of a leading part of the range and false
    // for the rest, as "lies in this pixel column" is for ordered x. The
    // search runs over the blocks' last x and then within one block, so it
    // reads little of a long run.
    template <typename Predicate>
    size_t partitionPointOfX(size_t first, size_t end, Predicate holds) const;

    // Every byte held for the run: samples, index and reserved capacity.
    size_t memoryBytes() const;

private:
    // 4096 samples (64 KiB) per chunk: the room a chunk reserves ahead is
    // small next to a long run, and the chunk table stays short.
    static constexpr unsigned ChunkBits = 12;
    static constexpr size_t ChunkSize = size_t(1) << ChunkBits;
    static constexpr size_t ChunkMask = ChunkSize - 1;
    static constexpr size_t FirstChunkCapacity = 64;

    // The index starts at blocks of 64 samples, and each level's blocks are
    // 8 of the level below. A range query scans at most a block of samples
    // at each end and up to 7 neighbouring blocks per level, so it reads few
    // places in memory, and the index costs under a byte per sample.
    static constexpr unsigned LeafBits = 6;
    static constexpr size_t LeafSize = size_t(1) << LeafBits;
    static constexpr unsigned FanOutBits = 3;

    static constexpr unsigned levelShift(size_t level) { return LeafBits + FanOutBits * unsigned(level); }

    struct Chunk
    {
        std::vector<double> x;
        std::vector<double> y;
    };

    // The first lowest and highest finite y of a block, and where in the
    // block they are (offsets fit: Qwt counts samples in int).
    struct Block
    {
        double lowest;
        double highest;
        uint32_t lowestOffset;
        uint32_t highestOffset;
    };

    void store(const QPointF &sample);
    void index(double y);
    void prefetchLeaf(size_t leaf) const;

    std::vector<Chunk> m_chunks;
    // m_levels[k][j] covers samples j << levelShift(k) .. ((j + 1) << levelShift(k)) - 1;
    // the last block of every level may still be filling. The top level has
    // a single block that covers the whole run.
    std::vector<std::vector<Block>> m_levels;
    // x of the last sample of every block of the first level.
    std::vector<double> m_leafLastX;
    size_t m_size = 0;
    bool m_orderedByX = true;

    bool m_hasBounds = false;
    double m_minX = 0.0;
    double m_maxX = 0.0;
    double m_minY = 0.0;
    double m_maxY = 0.0;
};

template <typename Predicate>
size_t LiveSeries::partitionPointOfX(size_t first, size_t end, Predicate holds) const
{
    if (first >= end)
        return end;
    const size_t lastLeaf = (end - 1) >> LeafBits;
    const auto leafHolds = [&](size_t leaf) {
        return holds(leaf < lastLeaf ? m_leafLastX[leaf] : xAt(end - 1));
    };

    // Find the block that holds the partition point: gallop over the blocks'
    // last x, since the point is usually close, then bisect.
    size_t low = first;
    size_t leaf = first >> LeafBits;
    if (leafHolds(leaf)) {
        size_t step = 1;
        while (step <= lastLeaf - leaf && leafHolds(leaf + step)) {
            leaf += step;
            step *= 2;
        }
        size_t failing = std::min(leaf + step, lastLeaf + 1);
        while (failing - leaf > 1) {
            const size_t middle = leaf + (failing - leaf) / 2;
            if (leafHolds(middle))
                leaf = middle;
            else
                failing = middle;
        }
        if (failing > lastLeaf)
            return end;
        leaf = failing;
        low = leaf << LeafBits;
    }

    // The last sample of this block fails; bisect for the first that does,
    // with the block's samples on their way into the cache all at once.
    prefetchLeaf(leaf);
    size_t high = std::min(end, (leaf + 1) << LeafBits) - 1;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (holds(xAt(middle)))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

#endif // LIVESERIES_H
