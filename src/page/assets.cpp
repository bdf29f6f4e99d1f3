// The page's style sheet and script, kept inline so the page is one file that needs
// nothing from the network.
#include "page/assets.h"

namespace ftir::page {

const std::string_view kPageStyle = R"css(
:root { --ink: #1d2430; --muted: #5b6573; --line: #d8dde4; --bad: #b3261e; --badbg: #fde4e1;
  --warn: #8a5a00; --warnbg: #fff0c2; --accent: #1f5fa8; --phase: #c0621b; }
* { box-sizing: border-box; }
body { margin: 0 auto; max-width: 1280px; padding: 12px 20px 40px; color: var(--ink);
  font: 14px/1.4 system-ui, -apple-system, "Segoe UI", Roboto, "DejaVu Sans", sans-serif;
  background: #fbfcfd; }
h1 { font-size: 22px; margin: 8px 0 4px; }
h2 { font-size: 17px; margin: 22px 0 6px; border-bottom: 1px solid var(--line); }
.summary { margin: 0; font-size: 15px; }
.bad { color: var(--bad); font-weight: 600; }
.note, .rule { color: var(--muted); margin: 4px 0 8px; max-width: 75em; }
#page-error { background: var(--bad); color: #fff; padding: 8px 12px; font-weight: 600; }
table.settings { border-collapse: collapse; }
table.settings th { text-align: left; font-weight: 600; padding: 2px 16px 2px 0;
  vertical-align: top; white-space: nowrap; }
table.settings td { padding: 2px 0; }
.plot-wide { width: 100%; max-width: 1100px; }
svg { display: block; width: 100%; height: auto; }
svg text { font: 12px system-ui, "DejaVu Sans", sans-serif; fill: var(--muted); }
svg .axis-label { font-size: 13px; fill: var(--ink); }
svg .frame { fill: #fff; stroke: #9aa4b1; }
svg .grid { stroke: #edf0f3; }
#legend { display: flex; flex-wrap: wrap; gap: 2px 14px; margin: 6px 0; font-size: 13px; }
#legend a { color: var(--ink); text-decoration: none; cursor: pointer; }
#legend i { display: inline-block; width: 18px; height: 3px; margin: 0 5px 3px 0;
  vertical-align: middle; }
.table-wrap { max-height: 75vh; overflow: auto; border: 1px solid var(--line); background: #fff; }
#file-table { border-collapse: collapse; width: 100%; font-size: 13px; }
#file-table th { position: sticky; top: 0; background: #eef1f5; text-align: left;
  padding: 4px 6px; cursor: pointer; user-select: none; border-bottom: 1px solid var(--line);
  white-space: nowrap; }
#file-table th[aria-sort="ascending"]::after { content: " \25B2"; }
#file-table th[aria-sort="descending"]::after { content: " \25BC"; }
#file-table td { padding: 2px 6px; border-bottom: 1px solid #f0f2f5; vertical-align: top; }
#file-table td[data-v] { text-align: right; font-variant-numeric: tabular-nums; }
#file-table td.flags { text-align: left; }
#file-table td.name a { color: var(--accent); }
#file-table td.out { color: var(--muted); white-space: nowrap; }
#file-table tr.skipped, #file-table tr.stopped { background: var(--badbg); }
#file-table tr.skipped td.status, #file-table tr.stopped td.status { color: var(--bad);
  font-weight: 600; }
.flag { display: inline-block; background: var(--warnbg); color: var(--warn);
  border: 1px solid #e2b64a; border-radius: 3px; padding: 0 4px; font-size: 12px; }
#cards { display: grid; grid-template-columns: repeat(auto-fill, minmax(230px, 1fr)); gap: 10px; }
.card { margin: 0; padding: 6px 8px; background: #fff; border: 1px solid var(--line);
  border-radius: 4px; cursor: pointer; content-visibility: auto;
  contain-intrinsic-size: auto 150px; }
.card:hover { border-color: var(--accent); }
.card.flagged { border-color: #e2b64a; box-shadow: inset 4px 0 0 #e2b64a; }
.card.skipped, .card.stopped { border-color: var(--bad); background: var(--badbg);
  box-shadow: inset 4px 0 0 var(--bad); cursor: default; }
.card figcaption { font-size: 12px; white-space: nowrap; overflow: hidden;
  text-overflow: ellipsis; }
.thumb { height: 80px; }
.thumb.phase { height: 40px; }
.nothumb { height: 80px; color: var(--bad); font-size: 12px; overflow: hidden; }
#viewer { position: fixed; inset: 0; background: rgba(20, 28, 40, 0.55); display: flex;
  align-items: center; justify-content: center; z-index: 10; }
#viewer[hidden] { display: none; }
#viewer .panel { background: #fff; width: min(1100px, 96vw); max-height: 96vh; overflow: auto;
  padding: 10px 16px 16px; border-radius: 6px; }
#viewer .bar { display: flex; align-items: center; gap: 8px; }
#viewer h3 { flex: 1; margin: 0; font-size: 16px; overflow-wrap: anywhere; }
#viewer button { font-size: 18px; min-width: 36px; cursor: pointer; }
#viewer-facts { color: var(--muted); margin: 4px 0; }
)css";

const std::string_view kPageScript = R"js(
(function () {
  'use strict';
  var started = performance.now();
  var DIGITS = '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_';
  var LEVEL = new Int32Array(128);
  for (var i = 0; i < 64; i++) LEVEL[DIGITS.charCodeAt(i)] = i;
  var PALETTE = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2',
    '#17becf', '#7f7f7f', '#bcbd22', '#393b79', '#ad494a', '#637939', '#8c6d31', '#7b4173',
    '#3182bd', '#e6550d', '#31a354', '#756bb1', '#636363'];
  var data = null;

  function fail(message) {
    var box = document.getElementById('page-error');
    if (!box) {
      box = document.createElement('div');
      box.id = 'page-error';
      document.body.insertBefore(box, document.body.firstChild);
    }
    box.textContent = 'The page could not draw everything: ' + message;
  }
  window.addEventListener('error', function (e) { fail(e.message); });

  // Values j of an encoded curve at x0 + floor(j / k) * dx; level 4095 is a gap (NaN).
  // A column's two extremes (k 2) are drawn a quarter column either side of its centre,
  // in the order they occur, so slopes stay straight lines instead of steps.
  function decode(c, x0, dx, k) {
    var n = c.d.length >> 1, xs = new Float64Array(n), ys = new Float64Array(n);
    var span = c.hi - c.lo, shift = k === 2 ? dx / 4 : 0;
    for (var j = 0; j < n; j++) {
      var level = LEVEL[c.d.charCodeAt(2 * j)] * 64 + LEVEL[c.d.charCodeAt(2 * j + 1)];
      xs[j] = x0 + Math.floor(j / k) * dx + (k === 2 ? (j % 2 ? shift : -shift) : 0);
      ys[j] = level === 4095 ? NaN : c.lo + span * level / 4094;
    }
    return { x: xs, y: ys };
  }
  function decodeCurve(c) { return decode(c, c.x0, c.dx, c.k); }

  function extent(arrays, lo, hi) {
    for (var a = 0; a < arrays.length; a++) {
      var v = arrays[a];
      for (var j = 0; j < v.length; j++) {
        if (v[j] < lo) lo = v[j];
        if (v[j] > hi) hi = v[j];
      }
    }
    return [lo, hi];
  }

  // About `count` round tick values (1, 2 or 5 times a power of ten) from a to b.
  function ticks(a, b, count) {
    var span = b - a;
    if (!(span > 0)) return { step: 1, values: [a] };
    var step = Math.pow(10, Math.floor(Math.log10(span / count)));
    var ratio = span / count / step;
    if (ratio >= 7.5) step *= 10; else if (ratio >= 3.5) step *= 5; else if (ratio >= 1.5) step *= 2;
    var values = [];
    for (var v = Math.ceil(a / step) * step; v <= b + step * 1e-9; v += step) {
      values.push(Math.abs(v) < step * 1e-9 ? 0 : v);
    }
    return { step: step, values: values };
  }
  function tickText(v, step) {
    var a = Math.abs(v);
    if (v === 0) return '0';
    if (a >= 1e5 || a < 1e-3) {
      var digits = Math.floor(Math.log10(a)) - Math.floor(Math.log10(step));
      return v.toExponential(Math.max(0, Math.min(3, digits)));
    }
    return v.toFixed(Math.max(0, Math.min(6, -Math.floor(Math.log10(step) + 1e-9))));
  }

  // An SVG plot. o: w, h, axes, xlabel, ylabel, lines [{x, y, color, width}],
  // band {x, lo, hi, color}. Wavenumber runs from high on the left to low on the right.
  function plot(o) {
    var m = o.axes ? { l: 74, r: 14, t: 10, b: 44 } : { l: 1, r: 1, t: 3, b: 3 };
    var pw = o.w - m.l - m.r, ph = o.h - m.t - m.b;
    var xs = [], ys = [];
    o.lines.forEach(function (s) { xs.push(s.x); ys.push(s.y); });
    if (o.band) { xs.push(o.band.x); ys.push(o.band.lo, o.band.hi); }
    var xr = extent(xs, Infinity, -Infinity), yr = extent(ys, Infinity, -Infinity);
    if (!(xr[0] <= xr[1])) return '';
    if (xr[0] === xr[1]) { xr[0] -= 1; xr[1] += 1; }
    if (!(yr[0] <= yr[1])) yr = [0, 1];
    if (yr[0] === yr[1]) { var pad = Math.abs(yr[0]) * 0.1 || 1; yr[0] -= pad; yr[1] += pad; }
    var yp = (yr[1] - yr[0]) * 0.04; yr[0] -= yp; yr[1] += yp;
    function X(x) { return m.l + (xr[1] - x) / (xr[1] - xr[0]) * pw; }
    function Y(y) { return m.t + (yr[1] - y) / (yr[1] - yr[0]) * ph; }
    var out = ['<svg viewBox="0 0 ' + o.w + ' ' + o.h +
      '" class="' + (o.axes ? 'plot' : 'thumb-svg') + '" role="img" aria-label="' +
      (o.label || 'plot') + '">'];
    out.push('<rect class="frame" x="' + m.l + '" y="' + m.t + '" width="' + pw + '" height="' +
      ph + '"/>');
    if (o.axes) {
      var tx = ticks(xr[0], xr[1], Math.max(3, Math.round(pw / 90)));
      tx.values.forEach(function (v) {
        var px = X(v).toFixed(1);
        out.push('<line class="grid" x1="' + px + '" x2="' + px + '" y1="' + m.t + '" y2="' +
          (m.t + ph) + '"/><text x="' + px + '" y="' + (m.t + ph + 16) +
          '" text-anchor="middle">' + tickText(v, tx.step) + '</text>');
      });
      var ty = ticks(yr[0], yr[1], Math.max(2, Math.round(ph / 60)));
      ty.values.forEach(function (v) {
        var py = Y(v).toFixed(1);
        out.push('<line class="grid" x1="' + m.l + '" x2="' + (m.l + pw) + '" y1="' + py +
          '" y2="' + py + '"/><text x="' + (m.l - 6) + '" y="' + py +
          '" dy="4" text-anchor="end">' + tickText(v, ty.step) + '</text>');
      });
      out.push('<text class="axis-label" x="' + (m.l + pw / 2) + '" y="' + (o.h - 6) +
        '" text-anchor="middle">' + o.xlabel + '</text>');
      out.push('<text class="axis-label" transform="translate(14 ' + (m.t + ph / 2) +
        ') rotate(-90)" text-anchor="middle">' + o.ylabel + '</text>');
    }
    if (o.band) {
      // One filled outline per run of columns that have a band: along the top, back along
      // the bottom; each column spans its whole width.
      var b = o.band, half = b.dx / 2, d = '', j = 0;
      while (j < b.x.length) {
        if (isNaN(b.lo[j]) || isNaN(b.hi[j])) { j++; continue; }
        var end = j;
        while (end < b.x.length && !isNaN(b.lo[end]) && !isNaN(b.hi[end])) end++;
        var top = [], bottom = [];
        for (var c = j; c < end; c++) {
          var left = X(Math.max(xr[0], b.x[c] - half)).toFixed(1);
          var right = X(Math.min(xr[1], b.x[c] + half)).toFixed(1);
          var hi = Y(b.hi[c]).toFixed(1), lo = Y(b.lo[c]).toFixed(1);
          top.push(left + ' ' + hi, right + ' ' + hi);
          bottom.push(left + ' ' + lo, right + ' ' + lo);
        }
        d += 'M' + top.join('L') + 'L' + bottom.reverse().join('L') + 'Z';
        j = end;
      }
      out.push('<path class="band" d="' + d + '" fill="' + b.color + '" stroke="none"/>');
    }
    o.lines.forEach(function (s) {
      var d = '', pen = false;
      for (var j = 0; j < s.x.length; j++) {
        if (isNaN(s.y[j])) { pen = false; continue; }
        d += (pen ? 'L' : 'M') + X(s.x[j]).toFixed(1) + ' ' + Y(s.y[j]).toFixed(1);
        pen = true;
      }
      out.push('<path class="curve" d="' + d + '" stroke="' + s.color + '" stroke-width="' +
        (s.width || 1) + '" fill="none" stroke-linejoin="round"/>');
    });
    out.push('</svg>');
    return out.join('');
  }

  var WAVENUMBER = 'Wavenumber (cm\u207B\u00B9)';

  function drawOverlay() {
    var box = document.getElementById('overlay');
    if (!box) return;
    var legend = document.getElementById('legend'), lines = [], items = [];
    if (data.band) {
      var b = data.band;
      var p5 = decode(b.p5, b.x0, b.dx, 1), p95 = decode(b.p95, b.x0, b.dx, 1);
      var ml = decode(b.ml, b.x0, b.dx, 1), mh = decode(b.mh, b.x0, b.dx, 1);
      var n = ml.x.length, mx = new Float64Array(2 * n), my = new Float64Array(2 * n);
      for (var j = 0; j < n; j++) {
        mx[2 * j] = mx[2 * j + 1] = ml.x[j];
        my[2 * j] = ml.y[j];
        my[2 * j + 1] = mh.y[j];
      }
      lines.push({ x: mx, y: my, color: '#123d6e', width: 1.3 });
      box.innerHTML = plot({ w: 1000, h: 420, axes: true, xlabel: WAVENUMBER,
        ylabel: 'Intensity (file units)', label: 'median and 5-95 % band of the spectra',
        lines: lines, band: { x: p5.x, dx: b.dx, lo: p5.y, hi: p95.y, color: '#b9cfe8' } });
      legend.innerHTML = '<span><i style="background:#123d6e"></i>median of ' + b.n +
        ' spectra</span><span><i style="background:#b9cfe8;height:10px"></i>5-95 % band</span>';
      return;
    }
    data.files.forEach(function (f, i) {
      if (!f.s) return;
      var c = decodeCurve(f.s), color = PALETTE[lines.length % PALETTE.length];
      lines.push({ x: c.x, y: c.y, color: color, width: 1.2 });
      items.push('<a data-i="' + i + '"><i style="background:' + color + '"></i>' +
        escapeText(f.name) + '</a>');
    });
    box.innerHTML = plot({ w: 1000, h: 420, axes: true, xlabel: WAVENUMBER,
      ylabel: 'Intensity (file units)', label: 'all spectra', lines: lines });
    legend.innerHTML = items.join('');
    legend.addEventListener('click', function (e) {
      var a = e.target.closest('a[data-i]');
      if (a) openViewer(+a.getAttribute('data-i'));
    });
  }

  function escapeText(s) {
    return s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
      .replace(/"/g, '&quot;');
  }

  function drawCard(card) {
    if (card.getAttribute('data-drawn')) return;
    card.setAttribute('data-drawn', '1');
    var f = data.files[+card.getAttribute('data-i')], thumbs = card.querySelectorAll('.thumb');
    if (f.s && thumbs[0]) {
      var s = decodeCurve(f.s);
      thumbs[0].innerHTML = plot({ w: 320, h: 80, lines: [{ x: s.x, y: s.y, color: '#1f5fa8' }],
        label: 'spectrum' });
    }
    if (f.p && thumbs[1]) {
      var p = decodeCurve(f.p);
      thumbs[1].innerHTML = plot({ w: 320, h: 40, lines: [{ x: p.x, y: p.y, color: '#c0621b' }],
        label: 'phase angle' });
    }
  }

  function setUpCards() {
    var cards = document.querySelectorAll('#cards .card');
    // The first cards are drawn at once; the rest as they come into view.
    for (var i = 0; i < cards.length && i < 24; i++) drawCard(cards[i]);
    if (!('IntersectionObserver' in window)) {
      for (var k = 24; k < cards.length; k++) drawCard(cards[k]);
    } else {
      var seen = new IntersectionObserver(function (entries) {
        entries.forEach(function (e) {
          if (e.isIntersecting) { drawCard(e.target); seen.unobserve(e.target); }
        });
      }, { rootMargin: '400px' });
      for (var j = 24; j < cards.length; j++) seen.observe(cards[j]);
    }
    document.getElementById('cards').addEventListener('click', function (e) {
      var card = e.target.closest('.card');
      if (card && data.files[+card.getAttribute('data-i')].s) openViewer(+card.getAttribute('data-i'));
    });
  }

  var current = -1;
  function openViewer(i) {
    var f = data.files[i], viewer = document.getElementById('viewer');
    current = i;
    document.getElementById('viewer-name').textContent = (i + 1) + '. ' + f.name;
    document.getElementById('viewer-facts').textContent = f.facts;
    var sp = document.getElementById('viewer-spectrum'), ph = document.getElementById('viewer-phase');
    sp.innerHTML = ph.innerHTML = '';
    if (f.s) {
      var s = decodeCurve(f.s);
      sp.innerHTML = plot({ w: 1000, h: 380, axes: true, xlabel: WAVENUMBER,
        ylabel: 'Intensity (file units)', label: 'spectrum',
        lines: [{ x: s.x, y: s.y, color: '#1f5fa8', width: 1.2 }] });
    } else {
      sp.textContent = 'No spectrum for this file.';
    }
    if (f.p) {
      var p = decodeCurve(f.p);
      ph.innerHTML = plot({ w: 1000, h: 220, axes: true, xlabel: WAVENUMBER,
        ylabel: 'Phase angle (rad)', label: 'phase angle',
        lines: [{ x: p.x, y: p.y, color: '#c0621b', width: 1.2 }] });
    }
    viewer.hidden = false;
  }
  function closeViewer() { document.getElementById('viewer').hidden = true; current = -1; }
  function step(by) {
    var n = data.files.length;
    for (var k = 1; k <= n; k++) {
      var i = (current + by * k + n * k) % n;
      if (data.files[i].s) { openViewer(i); return; }
    }
  }
  function setUpViewer() {
    var viewer = document.getElementById('viewer');
    viewer.addEventListener('click', function (e) { if (e.target === viewer) closeViewer(); });
    document.getElementById('close').addEventListener('click', closeViewer);
    document.getElementById('prev').addEventListener('click', function () { step(-1); });
    document.getElementById('next').addEventListener('click', function () { step(1); });
    document.addEventListener('keydown', function (e) {
      if (current < 0) return;
      if (e.key === 'Escape') closeViewer();
      else if (e.key === 'ArrowLeft') step(-1);
      else if (e.key === 'ArrowRight') step(1);
    });
  }

  function setUpTable() {
    var table = document.getElementById('file-table'), body = table.tBodies[0];
    var heads = table.tHead.rows[0].cells;
    function sortBy(col) {
      var th = heads[col], numeric = th.getAttribute('data-type') === 'num';
      var dir = th.getAttribute('aria-sort') === 'ascending' ? -1 : 1;
      for (var h = 0; h < heads.length; h++) heads[h].removeAttribute('aria-sort');
      th.setAttribute('aria-sort', dir > 0 ? 'ascending' : 'descending');
      var rows = Array.prototype.map.call(body.rows, function (row, index) {
        var cell = row.cells[col], key;
        if (numeric) {
          var v = cell.getAttribute('data-v');
          key = v === '' || v === null ? null : parseFloat(v);
        } else {
          key = cell.textContent.toLowerCase();
          if (key === '') key = null;
        }
        return { row: row, key: key, index: index };
      });
      rows.sort(function (a, b) {
        if (a.key === null || b.key === null) {
          return a.key === b.key ? a.index - b.index : (a.key === null ? 1 : -1);
        }
        if (a.key < b.key) return -dir;
        if (a.key > b.key) return dir;
        return a.index - b.index;
      });
      var frag = document.createDocumentFragment();
      rows.forEach(function (r) { frag.appendChild(r.row); });
      body.appendChild(frag);
    }
    Array.prototype.forEach.call(heads, function (th, col) {
      th.addEventListener('click', function () { sortBy(col); });
      th.addEventListener('keydown', function (e) { if (e.key === 'Enter') sortBy(col); });
    });
    body.addEventListener('click', function (e) {
      var a = e.target.closest('td.name a');
      if (!a) return;
      var i = +a.closest('tr').getAttribute('data-i');
      if (data.files[i].s) { e.preventDefault(); openViewer(i); }
    });
  }

  try {
    data = JSON.parse(document.getElementById('page-data').textContent);
    setUpTable();
    drawOverlay();
    setUpCards();
    setUpViewer();
    // A link to #f<i> opens that file's large view.
    var linked = /^#f(\d+)$/.exec(location.hash);
    if (linked && data.files[+linked[1]] && data.files[+linked[1]].s) openViewer(+linked[1]);
    document.body.setAttribute('data-script-ms', (performance.now() - started).toFixed(0));
    document.body.setAttribute('data-ready-ms', performance.now().toFixed(0));
    document.body.setAttribute('data-ready', 'yes');
  } catch (e) {
    fail(String(e && e.message || e));
  }
})();
)js";

}  // namespace ftir::page
