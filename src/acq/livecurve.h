#ifndef LIVECURVE_H
#define LIVECURVE_H

#include <qwt_plot_curve.h>

#include <QPointF>
#include <QString>

#include <cstddef>
#include <memory>

class LiveSeries;
class PixelColumns;

// A plot curve for a measurement run of any length.
//
// Samples are appended one at a time to a LiveSeries, which keeps the
// bounding rectangle for automatic scaling up to date, so a tick costs the
// same early and late in a run. Drawing visits pixel columns, not samples:
// a column shows its first, lowest, highest and last sample in sample order,
// which on a pixel-aligned device gives the picture of drawing every sample.
// Styles other than plain lines (steps, sticks, fills, fitting) and series
// whose x goes backwards are drawn the ordinary way.
class LiveCurve : public QwtPlotCurve
{
public:
    explicit LiveCurve(const QString &title);
    ~LiveCurve() override;

    // Does not replot: tells the plot the item changed, so that automatic
    // replot and scaling pick the sample up.
    void appendSample(const QPointF &sample);
    void clearSamples();

    size_t sampleCount() const;
    QPointF sample(size_t i) const;
    size_t memoryBytes() const;   // all storage incl. index and reserved capacity

protected:
    void drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                   const QRectF &canvasRect, int from, int to) const override;

private:
    const LiveSeries *series() const;
    LiveSeries &writableSeries();

    // The samples picked per pixel column at the last draw.
    std::unique_ptr<PixelColumns> m_columns;
};

#endif // LIVECURVE_H
