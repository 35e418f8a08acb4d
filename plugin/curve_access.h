// The plug-in as the curve editor sees it: selection, the 7 x 3 curves, the
// effect chain, module switches, trigger settings, end markers and scope.
// Modules are 0..6 (vol, flt, drv, tim, crs, pan, wid), bands 0..2 (low,
// mid, high); out-of-range numbers are clamped, bad point indexes ignored.
#pragma once

#include <cstdint>
#include <string>

#include "dsp/curve.h"
#include "dsp/modules.h"
#include "dsp/scope_data.h"

namespace norvale {

class CurveAccess {
public:
    virtual ~CurveAccess() = default;

    virtual int curveModule() const = 0;
    virtual int curveBand() const = 0;
    virtual void curveSelectModule(int module) = 0;
    // Also leaves all-bands editing.
    virtual void curveSelectBand(int band) = 0;
    virtual bool curveEditAllBands() const = 0;
    virtual void curveSetEditAllBands(bool on) = 0;
    virtual const Curve& curveAt(int module, int band) const = 0;
    virtual bool curveModuleEnabled(int module) const = 0;
    virtual bool curveBandEnabled(int band) const = 0;
    // Switches the module and the band(s) being edited on.
    virtual void curveEnableModule(int module) = 0;

    // Edits go to the selected band of the module, or to all three bands
    // when all-bands editing is on; the band argument is not used.
    // Returns the new point's index in the selected band, or -1.
    virtual int curveAddPoint(int module, int band, float x, float y, int weight) = 0;
    virtual void curveMovePoint(int module, int band, int point, float x, float y) = 0;
    virtual void curveRemovePoint(int module, int band, int point) = 0;
    virtual void curveSetWeight(int module, int band, int point, int weight, bool allPoints) = 0;
    virtual void curveSetFlat(int module, int band, float value) = 0;
    virtual void curveSetBend(int module, int band, int point, float bend) = 0;
    virtual void curveSetStep(int module, int band, int cell, int cells, float value) = 0;
    virtual void curveFillSteps(int module, int band, int cells) = 0;
    // Replaces one band's curve exactly (a paste); the band argument counts.
    virtual void curveReplace(int module, int band, const Curve& curve) = 0;

    virtual bool curveSnap() const = 0;
    virtual void curveToggleSnap() = 0;
    virtual bool curveStepMode() const = 0;
    virtual void curveSetStepMode(bool on) = 0;

    // The order the stages run in; returns how many modules were written.
    virtual int curveChain(int out[kModuleCount]) const = 0;
    virtual void curveChainAdd(int module) = 0;
    virtual void curveChainRemove(int module) = 0;
    virtual void curveChainMove(int module, int position) = 0;
    virtual void curveToggleModule(int module) = 0;

    // What the audio did over one cycle of the selected curve.
    virtual const ScopeData* curveScope() const = 0;

    // 0 Sync, 1 MIDI, 2 Audio.
    virtual int curveTriggerMode(int module) const = 0;
    virtual bool curveTriggerLoop(int module) const = 0;
    virtual float curveEnd(int module) const = 0;
    // A parameter's value (in its value space), for the graph's units.
    virtual double curveParamValue(uint32_t id) const = 0;
    // A drag of the end marker, reported to the host as one gesture.
    virtual void curveBeginEnd(int module) = 0;
    virtual void curveSetEnd(int module, float value) = 0;
    virtual void curveFinishEnd(int module) = 0;

    // Undo history. Every edit between begin and end is one step (a press
    // to its release, one key); pairs nest. A burst step joins a burst
    // step on the same parameters made just before (wheel notches).
    virtual void curveUndoBegin(const char* label, bool burst) = 0;
    virtual void curveUndoEnd() = 0;
    // Puts back what the open step changed so far (Escape during a drag).
    virtual void curveUndoCancel() = 0;
    virtual bool curveUndo() = 0;
    virtual bool curveRedo() = 0;
    // What undo (or redo) would take back; "" when nothing.
    virtual std::string curveUndoLabel(bool redoing) const = 0;
};

} // namespace norvale
