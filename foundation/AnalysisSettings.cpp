#include "foundation/AnalysisSettings.h"

BlockSettings blockSettings(const ParameterStore& store)
{
    BlockSettings s;
    s.numSamples = store.get(Param::NumSamples);
    s.intLvl = store.get(Param::IntLvl);
    s.intCount = store.get(Param::IntCount);
    s.reference = store.get(Param::RefMode) != 0;
    s.windowKind = store.get(Param::WindowFunction);
    s.calOffset = store.get(Param::CalDate) > 0 ? store.get(Param::CalOffset) : 0;
    s.waveFullScale = store.get(Param::WaveFullScale);
    s.sampFrq = store.get(Param::SampFrq);
    s.weighting = store.get(Option::Weighting);
    s.averaging = store.get(Option::Averaging);
    s.leqSeconds = store.get(Option::LeqMinutes) * 60;
    // A calibration goes on measuring: its offset applies from the next block.
    s.holdComplete = store.get(Option::HoldComplete) != 0 && store.get(Param::CalRunning) == 0;
    s.maxHold = store.get(Option::MaxHoldTrace) != 0;
    return s;
}

void storeBlockResult(ParameterStore& store, const BlockSettings& settings,
                      const BlockResult& result)
{
    if (result.waveFullScale != settings.waveFullScale)
        store.set(Param::WaveFullScale, result.waveFullScale);
    if (settings.reference) {
        store.set(Param::AnaMeanLevel, 0);
        store.set(Param::RefMeanLevel, truncToInt(result.meanLevel));
    } else {
        store.set(Param::AnaMeanLevel, truncToInt(result.meanLevel));
    }
    if (result.intCount != settings.intCount)
        store.set(Param::IntCount, result.intCount);
    store.set(Param::DataPresent, 1);
}

void storeReferenceResult(ParameterStore& store, const BlockResult& result)
{
    store.set(Param::AnaMeanLevel, 0);
    store.set(Param::RefMeanLevel, truncToInt(result.meanLevel));
    store.set(Param::DataPresent, 1);
}

int processBlock(ParameterStore& store, AnalysisArrays& arrays, DisplayBuffer& working,
                 int count, const int16_t* samples)
{
    const BlockSettings settings = blockSettings(store);
    BlockResult result;
    const int r = processBlock(settings, arrays, working, count, samples, &result);
    if (r == 0)
        storeBlockResult(store, settings, result);
    return r;
}

void conditionBlock(ParameterStore& store, int count, float* samples)
{
    const int fullScale = store.get(Param::WaveFullScale);
    const int found = conditionBlock(count, samples, fullScale);
    if (found != fullScale)
        store.set(Param::WaveFullScale, found);
}

void loadReferenceSpectrum(ParameterStore& store, AnalysisArrays& arrays, DisplayBuffer& working,
                           const float* db, int bins, int savedWeighting)
{
    BlockResult loaded;
    if (loadReferenceSpectrum(blockSettings(store), arrays, working, db, bins, &loaded,
                              savedWeighting))
        storeReferenceResult(store, loaded);
}

void computeBandEdges(const ParameterStore& store, float bandEdgeBins[4])
{
    int limits[4];
    for (int k = 0; k < 4; ++k)
        limits[k] = store.get(Param::Filter0 + k);
    computeBandEdges(store.get(Param::NumSamples), store.get(Param::SampFrq), limits,
                     bandEdgeBins);
}

Calibration calibration(const ParameterStore& store)
{
    Calibration c;
    c.offset = store.get(Param::CalOffset);
    c.date = store.get(Param::CalDate);
    c.sampFrq = store.get(Param::CalSampFrq);
    c.numSamples = store.get(Param::CalNumSamples);
    return c;
}

int calibrationState(const ParameterStore& store)
{
    return calibrationState(calibration(store), store.get(Param::SampFrq),
                            store.get(Param::NumSamples));
}

MeasurementRecord measurementRecord(const ParameterStore& store)
{
    MeasurementState m;
    m.windowKind = store.get(Param::WindowFunction);
    m.calibration = calibration(store);
    m.sampFrq = store.get(Param::SampFrq);
    m.numSamples = store.get(Param::NumSamples);
    m.clipCount = store.get(Param::ClipCount);
    m.lostBlocks = store.get(Param::LostBlocks);
    m.referenceFaults = store.get(Param::RefFaults);
    m.analysisFaults = store.get(Param::AnaFaults);
    m.referenceBands = store.pointer<const float*>(Param::RefBandLevels);
    m.analysisBands = store.pointer<const float*>(Param::AnaBandLevels);
    if (const Readings* r = store.pointer<const Readings*>(Param::Readings)) {
        m.referenceTotals = r->half[0].bandTotal;
        m.analysisTotals = r->half[1].bandTotal;
    }
    return measurementRecord(m);
}

ShownBands shownBands(const ParameterStore& store)
{
    ShownBands shown;
    const int view = store.get(Option::BandView);
    const Readings* r = store.pointer<const Readings*>(Param::Readings);
    if ((view != 1 && view != 2) || !r || r->numSamples != store.get(Param::NumSamples) ||
        r->sampFrq != store.get(Param::SampFrq))
        return shown;
    shown.readings = r;
    shown.bandsPerOctave = view == 1 ? 1 : 3;
    shown.bands = view == 1 ? &r->octaves : &r->thirds;
    return shown;
}
