#include "livecurve.h"

#include "liveseries.h"

#include <qwt_clipper.h>
#include <qwt_painter.h>
#include <qwt_scale_map.h>

#include <QPainter>
#include <QPolygonF>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace {

// The rounding QwtPointMapper applies for pixel-aligned devices.
double roundLikeMapper(double value)
{
    return value >= 0.0 ? std::floor(value + 0.5) : std::ceil(value - 0.5);
}

} // namespace

// The samples that draw the same picture as all of a series: per pixel
// column its first, lowest, highest and last sample, in sample order.
// Samples left or right of the canvas each form one column, since only the
// sample where the curve enters or leaves the canvas shows.
//
// The picks are kept from one draw to the next. While the x axis keeps its
// scale, appended samples change only the last column and add new ones, so
// a tick revisits one column, not the whole canvas.
class PixelColumns
{
public:
    struct Pick
    {
        size_t index;
        double y;
        double column;   // device x of the column; the canvas edge columns hold samples beyond it
    };

    const QVector<Pick> &update(const LiveSeries &series, const QwtScaleMap &xMap,
                                const QRectF &canvasRect, size_t from, size_t to, bool aligned);
    void forget()
    {
        m_valid = false;
        m_picks = QVector<Pick>();
    }

    size_t memoryBytes() const { return sizeof(*this) + size_t(m_picks.capacity()) * sizeof(Pick); }

    double leftmost() const { return m_leftmost; }
    double rightmost() const { return m_rightmost; }

private:
    bool m_valid = false;
    const LiveSeries *m_series = nullptr;
    double m_s1 = 0.0, m_s2 = 0.0, m_p1 = 0.0, m_p2 = 0.0;
    double m_leftmost = 0.0, m_rightmost = 0.0;
    bool m_aligned = false;
    size_t m_from = 0;
    size_t m_end = 0;                // samples covered: from .. end - 1
    size_t m_lastColumnStart = 0;    // first sample of the last column
    int m_lastColumnPicks = 0;       // where the last column's picks begin
    QVector<Pick> m_picks;
};

const QVector<PixelColumns::Pick> &PixelColumns::update(const LiveSeries &series,
                                                        const QwtScaleMap &xMap,
                                                        const QRectF &canvasRect, size_t from,
                                                        size_t to, bool aligned)
{
    const double leftmost = std::floor(canvasRect.left()) - 1.0;
    const double rightmost = std::ceil(canvasRect.right()) + 1.0;

    // Only a linear map is known by its four numbers.
    const bool sameColumns = m_valid && xMap.transformation() == nullptr && &series == m_series
                             && xMap.s1() == m_s1 && xMap.s2() == m_s2 && xMap.p1() == m_p1
                             && xMap.p2() == m_p2 && leftmost == m_leftmost && rightmost == m_rightmost
                             && aligned == m_aligned && from == m_from && to + 1 >= m_end;
    size_t first = from;
    if (sameColumns) {
        first = m_lastColumnStart;
        m_picks.resize(m_lastColumnPicks);
    } else {
        m_picks.clear();
        m_valid = true;
        m_series = &series;
        m_s1 = xMap.s1();
        m_s2 = xMap.s2();
        m_p1 = xMap.p1();
        m_p2 = xMap.p2();
        m_leftmost = leftmost;
        m_rightmost = rightmost;
        m_aligned = aligned;
        m_from = from;
    }
    m_end = to + 1;

    const auto columnOf = [&](double x) {
        const double position = xMap.transform(x);
        return qBound(leftmost, aligned ? roundLikeMapper(position) : std::floor(position), rightmost);
    };

    while (first <= to) {
        // x never decreases, so a column's samples are one index range.
        const double column = columnOf(series.xAt(first));
        const size_t end = series.partitionPointOfX(first + 1, to + 1,
                                                    [&](double x) { return columnOf(x) == column; });
        m_lastColumnStart = first;
        m_lastColumnPicks = m_picks.size();

        if (end - first <= 4) {
            for (size_t i = first; i < end; ++i)
                m_picks.append({i, series.yAt(i), column});
        } else {
            const LiveSeries::Extremes extremes = series.extremes(first, end);
            Pick picked[4] = {{first, series.yAt(first), column},
                              {extremes.lowest, extremes.lowestY, column},
                              {extremes.highest, extremes.highestY, column},
                              {end - 1, series.yAt(end - 1), column}};
            std::sort(std::begin(picked), std::end(picked),
                      [](const Pick &a, const Pick &b) { return a.index < b.index; });
            for (size_t k = 0; k < 4; ++k) {
                const size_t index = picked[k].index;
                if (index != LiveSeries::npos && (k == 0 || index != picked[k - 1].index))
                    m_picks.append(picked[k]);
            }
        }
        first = end;
    }
    return m_picks;
}

LiveCurve::LiveCurve(const QString &title)
    : QwtPlotCurve(title)
    , m_columns(new PixelColumns)
{
    setData(new LiveSeries);
}

LiveCurve::~LiveCurve() = default;

void LiveCurve::appendSample(const QPointF &sample)
{
    writableSeries().append(sample);
    itemChanged();
}

void LiveCurve::clearSamples()
{
    writableSeries().clear();
    m_columns->forget();
    itemChanged();
}

size_t LiveCurve::sampleCount() const
{
    return dataSize();
}

QPointF LiveCurve::sample(size_t i) const
{
    return data()->sample(i);
}

size_t LiveCurve::memoryBytes() const
{
    const LiveSeries *live = series();
    return (live ? live->memoryBytes() : 0) + m_columns->memoryBytes();
}

void LiveCurve::drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                          const QRectF &canvasRect, int from, int to) const
{
    const LiveSeries *live = series();
    const bool filled = brush().style() != Qt::NoBrush && brush().color().alpha() > 0;
    if (!live || !live->isOrderedByX() || filled || testCurveAttribute(Fitted) || from < 0) {
        QwtPlotCurve::drawLines(painter, xMap, yMap, canvasRect, from, to);
        return;
    }
    if (from > to)
        return;

    const bool aligned = QwtPainter::roundingAlignment(painter);
    const QVector<PixelColumns::Pick> &picks =
        m_columns->update(*live, xMap, canvasRect, size_t(from), size_t(to), aligned);

    // On a pixel-aligned device a column's samples all have the column's x.
    // A sample that is not a number marks a gap in the run (the line was
    // lost for a while): the curve breaks there.
    const bool weedOut = testPaintAttribute(FilterPoints);
    QVector<QPolygonF> segments(1);
    segments.last().reserve(picks.size());
    for (const PixelColumns::Pick &pick : picks) {
        if (!std::isfinite(pick.y)) {
            if (!segments.last().isEmpty())
                segments.append(QPolygonF());
            continue;
        }
        QPointF point;
        if (aligned) {
            const bool onCanvas = pick.column != m_columns->leftmost() && pick.column != m_columns->rightmost();
            point.rx() = onCanvas ? pick.column : roundLikeMapper(xMap.transform(live->xAt(pick.index)));
            point.ry() = roundLikeMapper(yMap.transform(pick.y));
        } else {
            point = QPointF(xMap.transform(live->xAt(pick.index)), yMap.transform(pick.y));
        }
        QPolygonF &polyline = segments.last();
        if (!weedOut || polyline.isEmpty() || polyline.last() != point)
            polyline.append(point);
    }

    for (QPolygonF &polyline : segments) {
        // Clipped as the ordinary line drawing clips.
        if (testPaintAttribute(ClipPolygons)) {
            const qreal penWidth = qMax(qreal(1.0), painter->pen().widthF());
            const QRectF clipRect = canvasRect.adjusted(-penWidth, -penWidth, penWidth, penWidth);
            polyline = QwtClipper::clipPolygonF(clipRect, polyline);
        }
        QwtPainter::drawPolyline(painter, polyline);
    }
}

const LiveSeries *LiveCurve::series() const
{
    return dynamic_cast<const LiveSeries *>(data());
}

// Samples handed over with setSamples() replace the live series; the next
// live sample then starts a new one.
LiveSeries &LiveCurve::writableSeries()
{
    if (auto *live = dynamic_cast<LiveSeries *>(data()))
        return *live;
    auto *live = new LiveSeries;
    setData(live);
    m_columns->forget();
    return *live;
}
