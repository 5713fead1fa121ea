#include "liveseries.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();

unsigned floorLog2(size_t value)   // value > 0
{
    return unsigned(std::numeric_limits<unsigned long long>::digits - 1
                    - __builtin_clzll(static_cast<unsigned long long>(value)));
}

unsigned trailingZeros(size_t value)   // value > 0
{
    return unsigned(__builtin_ctzll(static_cast<unsigned long long>(value)));
}

} // namespace

void LiveSeries::append(const QPointF &sample)
{
    const double x = sample.x();
    const double y = sample.y();

    if (!std::isfinite(x) || (m_size > 0 && x < xAt(m_size - 1)))
        m_orderedByX = false;

    if (std::isfinite(x) && std::isfinite(y)) {
        if (!m_hasBounds) {
            m_minX = m_maxX = x;
            m_minY = m_maxY = y;
            m_hasBounds = true;
        } else {
            m_minX = std::min(m_minX, x);
            m_maxX = std::max(m_maxX, x);
            m_minY = std::min(m_minY, y);
            m_maxY = std::max(m_maxY, y);
        }
    }

    store(sample);
    index(y);
    const size_t leaf = m_size >> LeafBits;
    if (leaf == m_leafLastX.size())
        m_leafLastX.push_back(x);
    else
        m_leafLastX[leaf] = x;
    ++m_size;
}

void LiveSeries::clear()
{
    std::vector<Chunk>().swap(m_chunks);
    std::vector<std::vector<Block>>().swap(m_levels);
    std::vector<double>().swap(m_leafLastX);
    m_size = 0;
    m_orderedByX = true;
    m_hasBounds = false;
}

QRectF LiveSeries::boundingRect() const
{
    if (!m_hasBounds)
        return QRectF(1.0, 1.0, -2.0, -2.0);
    return QRectF(QPointF(m_minX, m_minY), QPointF(m_maxX, m_maxY));
}

void LiveSeries::store(const QPointF &sample)
{
    if ((m_size & ChunkMask) == 0)
        m_chunks.emplace_back();

    // A chunk doubles its room up to the chunk size; only the chunk being
    // filled ever holds unused room.
    Chunk &chunk = m_chunks.back();
    if (chunk.x.size() == chunk.x.capacity()) {
        const size_t capacity = std::min(ChunkSize, std::max(FirstChunkCapacity, 2 * chunk.x.capacity()));
        chunk.x.reserve(capacity);
        chunk.y.reserve(capacity);
    }
    chunk.x.push_back(sample.x());
    chunk.y.push_back(sample.y());
}

// Adds y (the sample at m_size) to the block that holds it on every level.
void LiveSeries::index(double y)
{
    if (m_levels.empty())
        m_levels.emplace_back();

    const bool finite = std::isfinite(y);
    for (size_t level = 0; level < m_levels.size(); ++level) {
        std::vector<Block> &blocks = m_levels[level];
        const unsigned shift = levelShift(level);
        const size_t block = m_size >> shift;
        if (block == blocks.size())
            blocks.push_back({Infinity, -Infinity, 0, 0});
        if (!finite)
            continue;
        Block &extremes = blocks[block];
        const auto offset = uint32_t(m_size - (block << shift));
        if (y < extremes.lowest) {
            extremes.lowest = y;
            extremes.lowestOffset = offset;
        }
        if (y > extremes.highest) {
            extremes.highest = y;
            extremes.highestOffset = offset;
        }
    }

    // The top level keeps a single block over the whole run: when the run
    // outgrows it, a level of larger blocks goes on top. (Offsets stay below
    // the sample count, which Qwt keeps within int.)
    const std::vector<Block> &top = m_levels.back();
    if (top.size() == 2) {
        const auto secondStart = uint32_t(size_t(1) << levelShift(m_levels.size() - 1));
        Block whole = top[0];
        if (top[1].lowest < whole.lowest) {
            whole.lowest = top[1].lowest;
            whole.lowestOffset = secondStart + top[1].lowestOffset;
        }
        if (top[1].highest > whole.highest) {
            whole.highest = top[1].highest;
            whole.highestOffset = secondStart + top[1].highestOffset;
        }
        m_levels.push_back({whole});
    }
}

LiveSeries::Extremes LiveSeries::extremes(size_t first, size_t end) const
{
    end = std::min(end, m_size);
    Extremes result;
    result.lowestY = Infinity;
    result.highestY = -Infinity;
    // Strict comparisons in index order keep the first of equal values.
    const auto consider = [&](double low, size_t lowIndex, double high, size_t highIndex) {
        if (low < result.lowestY) {
            result.lowestY = low;
            result.lowest = lowIndex;
        }
        if (high > result.highestY) {
            result.highestY = high;
            result.highest = highIndex;
        }
    };
    const auto scanTo = [&](size_t &i, size_t stop) {
        for (; i < stop; ++i) {
            const double y = yAt(i);
            if (std::isfinite(y))
                consider(y, i, y, i);
        }
    };

    size_t i = first;
    scanTo(i, std::min(end, (first + LeafSize - 1) & ~(LeafSize - 1)));
    // From here on i is at a block boundary whenever a whole block fits:
    // take the largest aligned block that starts at i and ends within the range.
    while (i < end && end - i >= LeafSize) {
        unsigned level = (floorLog2(end - i) - LeafBits) / FanOutBits;
        if (i != 0)
            level = std::min(level, (trailingZeros(i) - LeafBits) / FanOutBits);
        level = std::min(level, unsigned(m_levels.size() - 1));
        const Block &block = m_levels[level][i >> levelShift(level)];
        consider(block.lowest, i + block.lowestOffset, block.highest, i + block.highestOffset);
        i += size_t(1) << levelShift(level);
    }
    scanTo(i, end);
    return result;
}

void LiveSeries::prefetchLeaf(size_t leaf) const
{
    const size_t first = leaf << LeafBits;
    const Chunk &chunk = m_chunks[first >> ChunkBits];
    const size_t begin = first & ChunkMask;
    const size_t end = std::min(begin + LeafSize, chunk.x.size());
    constexpr size_t PerCacheLine = 64 / sizeof(double);
    for (size_t i = begin; i < end; i += PerCacheLine) {
        __builtin_prefetch(&chunk.x[i]);
        __builtin_prefetch(&chunk.y[i]);
    }
}

size_t LiveSeries::memoryBytes() const
{
    size_t bytes = sizeof(*this) + m_chunks.capacity() * sizeof(Chunk)
                   + m_levels.capacity() * sizeof(std::vector<Block>)
                   + m_leafLastX.capacity() * sizeof(double);
    for (const Chunk &chunk : m_chunks)
        bytes += (chunk.x.capacity() + chunk.y.capacity()) * sizeof(double);
    for (const std::vector<Block> &blocks : m_levels)
        bytes += blocks.capacity() * sizeof(Block);
    return bytes;
}
