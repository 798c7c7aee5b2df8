// The interactive page of seqord-plot --html.  Hand-written, no library:
// everything the page needs is here and in the data block it reads.
//
// The data (written by seqord-plot) gives each year's points in two frames:
// 'seqord', axes 1-2 of the aligned points of .ORP, and 'fitted', dimensions
// 1-2 of the years placed in the consensus frame.  The page shows one year
// at a time; window.seqordView is the scripting interface (see the manual
// page of seqord-plot).
(function () {
  'use strict';

  var NS = 'http://www.w3.org/2000/svg';
  var D = JSON.parse(document.getElementById('seqord-data').textContent);
  var W = 880, H = 620;                          // the plot's viewBox
  var M = { l: 62, r: 18, t: 18, b: 48 };        // its margins
  var PW = W - M.l - M.r, PH = H - M.t - M.b;    // the plotting area
  var LABELS_UP_TO = 60;      // names drawn by default up to this many locations
  var STEP_MS = 650, HOLD_MS = 700;               // a year's move; a pause when playing
  var reduceMotion = window.matchMedia && window.matchMedia('(prefers-reduced-motion: reduce)').matches;

  // ------------------------------------------------------------ data ---

  var locs = D.locations.map(function (l) { return { index: l[0], short: l[1], name: l[2] }; });
  var nL = locs.length, nY = D.years.length;
  var byName = Object.create(null);
  locs.forEach(function (l, i) { byName[l.name] = i; });

  // pos[frame][year]: x, y of each location (NaN where the year lacks it).
  var pos = { seqord: [], fitted: [] };
  ['seqord', 'fitted'].forEach(function (f) {
    D.years.forEach(function (y) {
      var a = new Float64Array(2 * nL).fill(NaN);
      var part = y[f];
      if (part) {                     // no "loc": every location, in order
        for (var j = 0; 2 * j < part.xy.length; j++) {
          var l = part.loc ? part.loc[j] : j;
          a[2 * l] = part.xy[2 * j];
          a[2 * l + 1] = part.xy[2 * j + 1];
        }
      }
      pos[f].push(a);
    });
  });
  var stab = Object.create(null);   // location -> { years, spread, step }
  D.stability.forEach(function (r) { stab[r[0]] = { years: r[1], spread: r[2], step: r[3] }; });
  var anyPlaced = D.years.some(function (y) { return y.placed; });

  // One scale per frame, for every year: the box round all its points.
  function extent(f) {
    var x0 = Infinity, x1 = -Infinity, y0 = Infinity, y1 = -Infinity;
    pos[f].forEach(function (a) {
      for (var i = 0; i < nL; i++) {
        var x = a[2 * i], y = a[2 * i + 1];
        if (x === x) { x0 = Math.min(x0, x); x1 = Math.max(x1, x); y0 = Math.min(y0, y); y1 = Math.max(y1, y); }
      }
    });
    if (!(x0 <= x1)) { x0 = y0 = -1; x1 = y1 = 1; }
    var sx = x1 - x0, sy = y1 - y0, span = Math.max(sx, sy) || 2;
    var s = 0.9 * Math.min(PW / (sx || span), PH / (sy || span));
    return { s: s, mx: (x0 + x1) / 2, my: (y0 + y1) / 2 };
  }
  var base = { seqord: extent('seqord'), fitted: extent('fitted') };

  // ----------------------------------------------------------- state ---

  var S = {
    year: 0,
    frame: anyPlaced ? 'fitted' : 'seqord',
    trails: nL <= LABELS_UP_TO,
    labels: nL <= LABELS_UP_TO,
    k: 1, tx: 0, ty: 0,          // zoom and pan, on top of the frame's scale
    sel: -1,                     // the highlighted location
    playing: false
  };
  var cur = new Float64Array(2 * nL).fill(NaN);   // where each marker stands now
  var alpha = new Float64Array(nL).fill(1);       // its opacity (fading in or out)

  function B() { return base[S.frame]; }
  function sx(x) { return M.l + PW / 2 + S.tx + S.k * B().s * (x - B().mx); }
  function sy(y) { return M.t + PH / 2 + S.ty - S.k * B().s * (y - B().my); }
  function dx(px) { return (px - M.l - PW / 2 - S.tx) / (S.k * B().s) + B().mx; }
  function dy(py) { return -(py - M.t - PH / 2 - S.ty) / (S.k * B().s) + B().my; }

  // ------------------------------------------------------ DOM helpers ---

  function h(tag, attrs, text, parent) {
    var e = document.createElement(tag);
    for (var k in attrs) e.setAttribute(k, attrs[k]);
    if (text != null) e.textContent = text;
    if (parent) parent.appendChild(e);
    return e;
  }
  function s(tag, attrs, parent) {
    var e = document.createElementNS(NS, tag);
    for (var k in attrs) e.setAttribute(k, attrs[k]);
    if (parent) parent.appendChild(e);
    return e;
  }
  function fix(v, d) {
    if (v == null || v !== v) return '';
    var t = v.toFixed(d);
    return /^-0\.?0*$/.test(t) ? t.slice(1) : t;
  }
  function yearName(i) { return D.years[i].name; }
  function frameWord(f) { return f === 'fitted' ? 'consensus frame' : 'as seqord aligned them'; }
  function axisName(f, a) {
    if (f === 'fitted') return 'Dimension ' + a + ' (consensus frame)';
    var sh = D.years[S.year].share;
    return 'Axis ' + a + (sh ? ' (' + fix(sh[a - 1], 1) + '% in ' + yearName(S.year) + ')' : '');
  }

  // ------------------------------------------------------------ page ---

  var body = document.body;
  var head = h('header', {}, null, body);
  h('h1', {}, D.title || D.job, head);
  var meta = h('p', { 'class': 'meta' }, null, head);
  meta.textContent = 'Job ' + D.job + (D.settings ? ' \u00b7 ' + D.settings : '') +
    ' \u00b7 ' + nL + ' locations, ' + nY + ' years \u00b7 fitted on ' + D.fitAxes + ' axes';
  var empty = D.years.filter(function (y) { return !y.seqord.xy.length; }).map(function (y) { return y.name; });
  var notPlaced = D.years.filter(function (y) { return !y.placed && y.seqord.xy.length; }).map(function (y) { return y.name; });
  if (empty.length) h('p', { 'class': 'note' }, 'No location retained (no block in the input): ' + empty.join(', ') + '.', head);
  if (notPlaced.length && anyPlaced) {
    h('p', { 'class': 'note' }, 'Not placed in the consensus frame (fewer than 3 locations in common with the years before): ' +
      notPlaced.join(', ') + '.', head);
  }
  if (!anyPlaced) h('p', { 'class': 'note' }, 'No year could be placed in the consensus frame; only the points as seqord aligned them are shown.', head);
  (D.warnings || []).forEach(function (w) { h('p', { 'class': 'note' }, w, head); });

  var bar = h('div', { 'class': 'toolbar', role: 'toolbar', 'aria-label': 'View' }, null, body);
  var play = h('button', { type: 'button', id: 'play', 'aria-label': 'Play' }, '\u25b6', bar);
  var slider = h('input', { type: 'range', id: 'year', min: 0, max: Math.max(0, nY - 1), step: 1, value: 0,
                            'aria-label': 'Year' }, null, bar);
  var yearOut = h('output', { id: 'year-name', 'for': 'year' }, '', bar);
  var frameBox = h('span', { 'class': 'group', role: 'radiogroup', 'aria-label': 'Frame' }, null, bar);
  var frameInputs = {};
  ['fitted', 'seqord'].forEach(function (f) {
    var lab = h('label', {}, null, frameBox);
    var r = h('input', { type: 'radio', name: 'frame', value: f }, null, lab);
    if (f === 'fitted' && !anyPlaced) r.disabled = true;
    lab.appendChild(document.createTextNode(f === 'fitted' ? ' consensus frame' : ' as seqord aligned'));
    frameInputs[f] = r;
  });
  function checkbox(id, text, on) {
    var lab = h('label', {}, null, bar);
    var c = h('input', { type: 'checkbox', id: id }, null, lab);
    c.checked = on;
    lab.appendChild(document.createTextNode(' ' + text));
    return c;
  }
  var trailBox = checkbox('trails', 'trajectories', S.trails);
  var labelBox = checkbox('labels', 'names', S.labels);
  var resetBtn = h('button', { type: 'button', id: 'reset' }, 'Reset zoom', bar);
  var dl = h('span', { 'class': 'group' }, 'Download the view: ', bar);
  var svgBtn = h('button', { type: 'button', id: 'download-svg', title: 'the view as an SVG picture' }, 'SVG', dl);
  var pngBtn = h('button', { type: 'button', id: 'download-png', title: 'the view as a PNG image (twice the size)' }, 'PNG', dl);

  var main = h('main', {}, null, body);
  var box = h('div', { 'class': 'plotbox' }, null, main);
  var svg = s('svg', { id: 'plot', 'class': 'plot', viewBox: '0 0 ' + W + ' ' + H, role: 'img', 'aria-label': 'Locations of the year' }, box);
  var tip = h('div', { role: 'tooltip', id: 'tip', hidden: '' }, null, box);
  var side = h('aside', {}, null, main);

  var defs = s('defs', {}, svg);
  var clip = s('clipPath', { id: 'seqord-clip' }, defs);
  s('rect', { x: M.l, y: M.t, width: PW, height: PH }, clip);
  // Up to COLOURS locations each have a colour of their own (marker, name
  // and path); more share one.
  var COLOURS = 10, own = nL <= COLOURS;
  function colourOf(i) { return own ? ' c' + i : ''; }
  ['', ' sel'].concat(own ? locs.map(function (l, i) { return ' c' + i; }) : []).forEach(function (c) {
    var arrow = s('marker', { id: 'seqord-arrow' + c.replace(' ', '-'), viewBox: '0 0 10 10', refX: 9, refY: 5,
                              markerWidth: 7, markerHeight: 7, orient: 'auto', markerUnits: 'userSpaceOnUse' }, defs);
    s('path', { d: 'M0,1 L10,5 L0,9 z', 'class': 'arrowhead' + c }, arrow);
    var start = s('marker', { id: 'seqord-start' + c.replace(' ', '-'), viewBox: '0 0 10 10', refX: 5, refY: 5,
                              markerWidth: 7, markerHeight: 7, markerUnits: 'userSpaceOnUse' }, defs);
    s('circle', { cx: 5, cy: 5, r: 3.6, 'class': 'trailstart' + c }, start);
  });
  s('rect', { x: 0, y: 0, width: W, height: H, 'class': 'paper' }, svg);
  s('rect', { x: M.l, y: M.t, width: PW, height: PH, 'class': 'area' }, svg);
  var gGrid = s('g', { 'class': 'grid' }, svg);
  var gTicks = s('g', { 'class': 'ticks' }, svg);
  var clipped = s('g', { 'clip-path': 'url(#seqord-clip)' }, svg);
  var gZero = s('g', { 'class': 'zero' }, clipped);
  var yearMark = s('text', { 'class': 'yearmark', x: M.l + PW - 10, y: M.t + 46, 'text-anchor': 'end' }, clipped);
  var gTrails = s('g', { 'class': 'trails' }, clipped);
  var gSel = s('g', { 'class': 'seltrail' }, clipped);
  var gGhosts = s('g', { 'class': 'ghosts' }, clipped);
  var gRings = s('g', { 'class': 'rings' }, clipped);   // round the locations new this year
  var gPoints = s('g', { 'class': 'points' }, clipped);
  var message = s('text', { 'class': 'message', x: M.l + 12, y: M.t + 22 }, svg);
  var xLabel = s('text', { 'class': 'axislabel', x: M.l + PW / 2, y: H - 8, 'text-anchor': 'middle' }, svg);
  var yLabel = s('text', { 'class': 'axislabel', x: 0, y: 0, 'text-anchor': 'middle',
                           transform: 'translate(14,' + (M.t + PH / 2) + ') rotate(-90)' }, svg);
  var svgTitle = s('title', {}, svg);

  // One marker per location, made once and moved.
  var marks = locs.map(function (l) {
    var g = s('g', { 'class': 'loc', 'data-location': l.name, display: 'none' }, gPoints);
    s('circle', { r: 5, 'class': 'dot' + colourOf(locs.indexOf(l)) }, g);
    var t = s('text', { x: 8, y: -6 }, g);
    t.textContent = l.name;
    return g;
  });
  var trails = locs.map(function (l, i) {
    var c = colourOf(i).replace(' ', '-');
    return s('polyline', { 'marker-start': 'url(#seqord-start' + c + ')', 'marker-end': 'url(#seqord-arrow' + c + ')' }, gTrails);
  });

  // The side panel: the selected location, the legend.
  h('h2', {}, 'Selected location', side);
  var selInfo = h('div', { id: 'selection' }, 'Click a location (or a row of the stability table) to follow it over the years.', side);
  h('h2', {}, 'Legend', side);
  var legend = h('ul', { 'class': 'legend' }, null, side);
  [['present', 'held by this year'], ['enter', 'new this year: not held by the year before'],
   ['ghost', 'left: held by the year before, not by this one (its place then)'],
   ['trail', 'trajectory: the location\u2019s path over the years, from the open dot (its first year) to the arrow (its last)']].forEach(function (it) {
    var li = h('li', {}, null, legend);
    var k = s('svg', { width: 26, height: 16, viewBox: '0 0 26 16', 'class': 'plot key' }, li);
    if (it[0] === 'trail') {
      s('line', { x1: 2, y1: 12, x2: 20, y2: 4, 'class': 'trail' }, k);
    } else {
      var g = s('g', { 'class': it[0] === 'ghost' ? 'ghost' : 'loc ' + it[0], transform: 'translate(13,8)' }, k);
      if (it[0] === 'enter') s('circle', { r: 7, 'class': 'ring' }, g);
      s('circle', { r: it[0] === 'enter' ? 3.5 : 5, 'class': 'dot' }, g);
    }
    li.appendChild(document.createTextNode(' ' + it[1]));
  });
  var frameNote = h('p', { 'class': 'framenote' }, '', side);
  h('p', { 'class': 'help' }, 'Wheel: zoom \u00b7 drag: pan \u00b7 double-click or \u201cReset zoom\u201d: whole view \u00b7 ' +
    'the slider takes the arrow keys.', side);

  // ---------------------------------------------------------- tables ---

  var tables = h('section', { 'class': 'tables' }, null, body);

  // A sortable table: columns [{key, label, num, fmt, title}], rows of
  // objects; clicking a heading sorts by it (again: the other way).
  function sortable(parent, id, cols, rows, onRow, rowClass) {
    var t = h('table', { id: id }, null, parent);
    var thead = h('thead', {}, null, t), tr = h('tr', {}, null, thead);
    var tb = h('tbody', {}, null, t);
    var by = null, dir = 1;
    var ths = cols.map(function (c, ci) {
      var th = h('th', { scope: 'col', 'aria-sort': 'none', title: c.title || '', 'class': c.num ? 'num' : '' }, null, tr);
      var b = h('button', { type: 'button' }, c.label, th);
      b.addEventListener('click', function () { sortBy(ci, by === ci ? -dir : 1); });
      return th;
    });
    function fill() {
      tb.textContent = '';
      rows.forEach(function (r) {
        var row = h('tr', {}, null, tb);
        if (rowClass) { var rc = rowClass(r); if (rc) row.setAttribute('class', rc); }
        row.seqordRow = r;
        cols.forEach(function (c) {
          var td = h('td', c.num ? { 'class': 'num' } : {}, null, row);
          if (c.cell) c.cell(td, r); else td.textContent = c.fmt ? c.fmt(r[c.key]) : r[c.key];
        });
        if (onRow) row.addEventListener('click', function () { onRow(r); });
      });
    }
    function sortBy(ci, d) {
      by = ci; dir = d;
      var k = cols[ci].key;
      rows.sort(function (a, b) {
        var x = a[k], y = b[k];
        if (x == null && y == null) return a._order - b._order;
        if (x == null) return 1;          // empty figures last either way
        if (y == null) return -1;
        var c = typeof x === 'number' ? x - y : String(x).localeCompare(String(y));
        return c * dir || a._order - b._order;
      });
      ths.forEach(function (th, i) { th.setAttribute('aria-sort', i === ci ? (dir > 0 ? 'ascending' : 'descending') : 'none'); });
      fill();
    }
    rows.forEach(function (r, i) { r._order = i; });
    fill();
    return { table: t, body: tb, sortBy: sortBy };
  }

  var stabBox = h('div', {}, null, tables);
  h('h2', {}, 'Stability', stabBox);
  h('p', {}, 'Each placed location\u2019s spread (root mean square distance of its placed positions to its consensus ' +
    'position) and mean step (mean distance between its positions in successive placed years that hold it), in the ' +
    'consensus frame on ' + D.fitAxes + ' axes. Rank 1 holds its place best.', stabBox);
  var maxSpread = D.stability.reduce(function (m, r) { return Math.max(m, r[2]); }, 0) || 1;
  var stabRows = D.stability.slice().sort(function (a, b) { return a[2] - b[2] || a[0] - b[0]; })
    .map(function (r, i) { return { rank: i + 1, loc: r[0], name: locs[r[0]].name, years: r[1], spread: r[2], step: r[3] }; });
  var stabTable = sortable(stabBox, 'stability', [
    { key: 'rank', label: 'Rank', num: true },
    { key: 'name', label: 'Location' },
    { key: 'years', label: 'Years', num: true, title: 'placed years that hold it' },
    { key: 'spread', label: 'Spread', num: true, cell: function (td, r) {
      var b = h('span', { 'class': 'bar' }, null, td);
      b.style.width = (48 * r.spread / maxSpread).toFixed(1) + 'px';
      td.appendChild(document.createTextNode(fix(r.spread, 3)));
      td.title = String(r.spread);
    } },
    { key: 'step', label: 'Mean step', num: true, fmt: function (v) { return v == null ? '\u2014' : fix(v, 3); } }
  ], stabRows, function (r) { select(r.loc); });
  if (!stabRows.length) h('p', { 'class': 'note' }, 'No location is placed.', stabBox);

  var pairBox = h('div', {}, null, tables);
  h('h2', {}, 'Pairs of successive years', pairBox);
  h('p', {}, 'How far each year lies from the one before it on their common locations, as seqord aligned them ' +
    '(ss_seqord) and after the best rotation or reflection (ss_fit); procrustes_r is 1 for the same shape. ' +
    'Marked \u26a0: a weak fit (procrustes_r below 0.5) or an undetermined one (fewer than 3 common locations).', pairBox);
  var pairRows = D.pairs.map(function (p) {
    var weak = p[5] == null || p[5] < 0.5;
    return { from: p[0], to: p[1], years: yearName(p[0]) + ' \u2192 ' + yearName(p[1]), common: p[2],
             ss0: p[3], ss1: p[4], r: p[5], weak: weak,
             note: p[5] == null ? 'undetermined' : weak ? 'weak fit' : '' };
  });
  function f3(v) { return v == null ? '\u2014' : fix(v, 3); }
  var pairTable = sortable(pairBox, 'pairs', [
    { key: 'from', label: 'Years', cell: function (td, r) { td.textContent = r.years; } },
    { key: 'common', label: 'Common', num: true, title: 'locations both years hold' },
    { key: 'ss0', label: 'ss_seqord', num: true, fmt: f3 },
    { key: 'ss1', label: 'ss_fit', num: true, fmt: f3 },
    { key: 'r', label: 'procrustes_r', num: true, fmt: f3 },
    { key: 'note', label: '', cell: function (td, r) { td.textContent = r.weak ? '\u26a0 ' + r.note : ''; } }
  ], pairRows, function (r) { setYear(r.to, true); }, function (r) { return r.weak ? 'weak' : ''; });
  if (!pairRows.length) h('p', { 'class': 'note' }, 'A single year: no pairs.', pairBox);

  var foot = h('footer', {}, null, body);
  foot.textContent = 'Written by seqord-plot ' + D.version + ' from ' + D.job + '.ORP' +
    (D.namesFile ? ' and ' + D.namesFile : '') + '. One file: it needs no network.';

  // ---------------------------------------------------------- drawing ---

  var raf = 0, dirty = { points: false, trails: false, axes: false, ghosts: false };
  function later(what) {
    for (var k in what) dirty[k] = dirty[k] || what[k];
    if (!raf) raf = requestAnimationFrame(flush);
  }
  function flush() {
    if (raf) cancelAnimationFrame(raf);   // called at once: no second loop
    raf = 0;
    if (anim) step(performance.now());
    if (dirty.axes) drawAxes();
    if (dirty.trails) drawTrails();
    if (dirty.points || dirty.axes) drawPoints(dirty.ghosts || dirty.axes);
    dirty = { points: false, trails: false, axes: false, ghosts: false };
    if (anim) raf = requestAnimationFrame(flush);
  }

  function niceStep(span) {
    var raw = span / 7, p = Math.pow(10, Math.floor(Math.log10(raw))), f = raw / p;
    return (f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10) * p;
  }
  function drawAxes() {
    gGrid.textContent = ''; gTicks.textContent = ''; gZero.textContent = '';
    var x0 = dx(M.l), x1 = dx(M.l + PW), y0 = dy(M.t + PH), y1 = dy(M.t);
    var st = niceStep(Math.max(x1 - x0, y1 - y0));
    var dec = Math.max(0, -Math.floor(Math.log10(st) + 1e-9));
    for (var v = Math.ceil(x0 / st) * st; v <= x1 + 1e-12; v += st) {
      var X = sx(v);
      s('line', { x1: X, y1: M.t, x2: X, y2: M.t + PH }, gGrid);
      var t = s('text', { x: X, y: M.t + PH + 15, 'text-anchor': 'middle' }, gTicks);
      t.textContent = fix(v, dec);
    }
    for (v = Math.ceil(y0 / st) * st; v <= y1 + 1e-12; v += st) {
      var Y = sy(v);
      s('line', { x1: M.l, y1: Y, x2: M.l + PW, y2: Y }, gGrid);
      t = s('text', { x: M.l - 6, y: Y + 4, 'text-anchor': 'end' }, gTicks);
      t.textContent = fix(v, dec);
    }
    s('line', { x1: sx(0), y1: M.t, x2: sx(0), y2: M.t + PH }, gZero);
    s('line', { x1: M.l, y1: sy(0), x2: M.l + PW, y2: sy(0) }, gZero);
  }

  // The years at which location i stands in the current frame, in order.
  function yearsOf(i) {
    var out = [];
    for (var y = 0; y < nY; y++) if (pos[S.frame][y][2 * i] === pos[S.frame][y][2 * i]) out.push(y);
    return out;
  }
  function pathOf(i) {
    return yearsOf(i).map(function (y) {
      var a = pos[S.frame][y];
      return sx(a[2 * i]).toFixed(1) + ',' + sy(a[2 * i + 1]).toFixed(1);
    }).join(' ');
  }
  function drawTrails() {
    gTrails.setAttribute('display', S.trails ? 'inline' : 'none');
    if (S.trails) {
      for (var i = 0; i < nL; i++) {
        var p = pathOf(i);
        trails[i].setAttribute('points', p);
        trails[i].setAttribute('class', 'trail' + colourOf(i) + (S.sel >= 0 ? (i === S.sel ? ' hidden' : ' dim') : ''));
      }
    }
    gSel.textContent = '';
    if (S.sel < 0) return;
    var ys = yearsOf(S.sel);
    s('polyline', { points: pathOf(S.sel), 'class': 'trail sel', 'marker-end': 'url(#seqord-arrow-sel)' }, gSel);
    // Each year's stop is marked; its name is written where it covers no
    // name written before it (and not at the year shown, which the marker's
    // own name labels).
    var taken = [];
    ys.forEach(function (y, j) {
      var a = pos[S.frame][y], X = sx(a[2 * S.sel]), Y = sy(a[2 * S.sel + 1]);
      s(j === 0 ? 'rect' : 'circle', j === 0 ? { x: X - 3.5, y: Y - 3.5, width: 7, height: 7, 'class': 'stop first' }
                                             : { cx: X, cy: Y, r: 2.8, 'class': 'stop' }, gSel);
      if (y === S.year) return;
      var w = 6.2 * yearName(y).length, box = [X + 5, Y + 3, X + 5 + w, Y + 14];
      if (taken.some(function (b) { return box[0] < b[2] && b[0] < box[2] && box[1] < b[3] && b[1] < box[3]; })) return;
      taken.push(box);
      var t = s('text', { x: X + 5, y: Y + 12, 'class': 'stoplabel' }, gSel);
      t.textContent = yearName(y);
    });
  }

  var ghostOf = [];   // the locations drawn as having left
  var enterOf = [];   // those new this year
  // What each marker was last given, so that a frame of a move touches only
  // what changes (hundreds of markers, sixty frames a second).
  var shown = locs.map(function () { return { 'class': 'loc', display: 'none', transform: '', opacity: '1' }; });
  function put(i, key, value) {
    if (shown[i][key] !== value) { shown[i][key] = value; marks[i].setAttribute(key, value); }
  }
  function drawPoints(ghosts) {
    for (var i = 0; i < nL; i++) {
      var x = cur[2 * i];
      if (x !== x) { put(i, 'display', 'none'); continue; }
      put(i, 'display', 'inline');
      put(i, 'transform', 'translate(' + sx(x).toFixed(1) + ',' + sy(cur[2 * i + 1]).toFixed(1) + ')');
      put(i, 'opacity', alpha[i] < 1 ? alpha[i].toFixed(2) : '1');
    }
    if (ghosts === false) return;
    gRings.textContent = '';
    var now = pos[S.frame][S.year];
    enterOf.forEach(function (i) {
      s('circle', { 'class': 'ring', r: 9.5, cx: sx(now[2 * i]).toFixed(1), cy: sy(now[2 * i + 1]).toFixed(1) }, gRings);
    });
    gGhosts.textContent = '';
    var prev = S.year > 0 ? pos[S.frame][S.year - 1] : null;
    ghostOf.forEach(function (i) {
      var g = s('g', { 'class': 'ghost', 'data-left': locs[i].name,
                       transform: 'translate(' + sx(prev[2 * i]).toFixed(1) + ',' + sy(prev[2 * i + 1]).toFixed(1) + ')' }, gGhosts);
      s('circle', { r: 5 }, g);
      var t = s('text', { x: 8, y: -6 }, g);
      t.textContent = locs[i].name + ' (left)';
    });
  }

  // -------------------------------------------------------- the year ---

  var anim = null;   // { t0, from, to, fromA, toA }
  function step(now) {
    var t = Math.min(1, (now - anim.t0) / STEP_MS), e = t < 0.5 ? 2 * t * t : 1 - Math.pow(-2 * t + 2, 2) / 2;
    for (var i = 0; i < nL; i++) {
      var fx = anim.from[2 * i], tx = anim.to[2 * i];
      if (fx === fx && tx === tx) {
        cur[2 * i] = fx + (tx - fx) * e;
        cur[2 * i + 1] = anim.from[2 * i + 1] + (anim.to[2 * i + 1] - anim.from[2 * i + 1]) * e;
        alpha[i] = 1;
      } else if (tx === tx) {                 // arrives: fades in where it stands
        cur[2 * i] = tx; cur[2 * i + 1] = anim.to[2 * i + 1]; alpha[i] = e;
      } else if (fx === fx) {                 // goes: fades out where it stood
        cur[2 * i] = t < 1 ? fx : NaN; cur[2 * i + 1] = anim.from[2 * i + 1]; alpha[i] = 1 - e;
      }
    }
    dirty.points = true;
    if (t >= 1) { anim = null; alpha.fill(1); }
  }

  function present(y) {
    var a = pos[S.frame][y], out = [];
    for (var i = 0; i < nL; i++) if (a[2 * i] === a[2 * i]) out.push(i);
    return out;
  }

  // Shows year i; `animate`: the markers move there from where they stand.
  function setYear(i, animate) {
    S.year = i;
    slider.value = String(i);
    slider.setAttribute('aria-valuetext', yearName(i));
    yearOut.textContent = yearName(i) + ' (' + (i + 1) + ' of ' + nY + ')';
    yearMark.textContent = yearName(i);
    var to = pos[S.frame][i], prev = i > 0 ? pos[S.frame][i - 1] : null;
    ghostOf = [];
    enterOf = [];
    for (var j = 0; j < nL; j++) {
      var here = to[2 * j] === to[2 * j], before = prev && prev[2 * j] === prev[2 * j];
      put(j, 'class', 'loc' + (here ? ' present' : '') + (here && prev && !before ? ' enter' : '') + (j === S.sel ? ' sel' : ''));
      if (before && !here) ghostOf.push(j);
      if (here && prev && !before) enterOf.push(j);
    }
    if (animate && !reduceMotion) {
      anim = { t0: performance.now(), from: Float64Array.from(cur), to: to };
    } else {
      anim = null;
      cur.set(to);
      alpha.fill(1);
    }
    var held = D.years[i].seqord.xy.length > 0;
    message.textContent = !held ? yearName(i) + ': no location retained (no block in the input for this year).'
      : S.frame === 'fitted' && !D.years[i].placed
      ? yearName(i) + ' is not placed in the consensus frame: it shares fewer than 3 locations with the years before it.' : '';
    xLabel.textContent = axisName(S.frame, 1);
    yLabel.textContent = axisName(S.frame, 2);
    svgTitle.textContent = D.job + ', ' + yearName(i) + ', ' + frameWord(S.frame);
    pairTable.body.querySelectorAll('tr').forEach(function (tr) {
      tr.classList.toggle('current', tr.seqordRow.to === i);
    });
    describeSelection();
    later({ points: true, axes: true, ghosts: true });
    if (!anim) flush();
  }

  function setFrame(f) {
    if (f !== 'fitted' && f !== 'seqord') throw new TypeError("frame must be 'fitted' or 'seqord'");
    if (f === 'fitted' && !anyPlaced) throw new Error('no year is placed in the consensus frame');
    S.frame = f;
    frameInputs[f].checked = true;
    frameNote.textContent = f === 'fitted'
      ? 'Consensus frame: each year turned (rotation or reflection, no scaling) onto the years before it; one scale for all years, so an arrow is a real move.'
      : 'As seqord aligned them: axes 1 and 2 of each year, only their signs lined up; the axes of successive years may still turn or swap.';
    setYear(S.year, false);
    later({ trails: true, axes: true, points: true, ghosts: true });
    flush();
  }

  // ------------------------------------------------------- selection ---

  function select(i) {
    S.sel = S.sel === i ? -1 : i;
    marks.forEach(function (g, j) {
      if (g.classList.contains('sel') !== (j === S.sel)) { g.classList.toggle('sel'); shown[j]['class'] = g.getAttribute('class'); }
    });
    stabTable.body.querySelectorAll('tr').forEach(function (tr) { tr.classList.toggle('current', tr.seqordRow.loc === S.sel); });
    describeSelection();
    later({ trails: true });
    flush();
  }
  function describeSelection() {
    if (S.sel < 0) { selInfo.textContent = 'Click a location (or a row of the stability table) to follow it over the years.'; return; }
    var l = locs[S.sel], st = stab[S.sel];
    selInfo.textContent = '';
    h('strong', {}, l.name, selInfo);
    if (l.short !== l.name) selInfo.appendChild(document.createTextNode(' (' + l.short + ')'));
    h('p', {}, st ? 'Spread ' + fix(st.spread, 3) + ', mean step ' + (st.step == null ? '\u2014' : fix(st.step, 3)) +
      ' over ' + st.years + ' placed years.' : 'Not placed in the consensus frame.', selInfo);
    var ys = yearsOf(S.sel);
    h('p', {}, ys.length + ' years in this frame (click one to go there):', selInfo);
    var list = h('ul', { 'class': 'years' }, null, selInfo);
    ys.forEach(function (y) {
      var a = pos[S.frame][y];
      var li = h('li', y === S.year ? { 'class': 'current' } : {}, null, list);
      var b = h('button', { type: 'button' }, yearName(y), li);
      li.appendChild(document.createTextNode(' ' + fix(a[2 * S.sel], 3) + ', ' + fix(a[2 * S.sel + 1], 3)));
      b.addEventListener('click', function () { stop(); setYear(y, true); });
    });
  }

  // --------------------------------------------------------- tooltip ---

  function showTip(target, ev) {
    var name = target.getAttribute('data-location'), left = target.getAttribute('data-left');
    var i = byName[name != null ? name : left];
    if (i == null) return hideTip();
    var y = left != null ? S.year - 1 : S.year, a = pos[S.frame][y], st = stab[i];
    var c = S.frame === 'fitted' ? 'dim' : 'axis';
    tip.textContent = '';
    h('strong', {}, locs[i].name, tip);
    if (locs[i].short !== locs[i].name) tip.appendChild(document.createTextNode(' (' + locs[i].short + ')'));
    h('div', {}, (left != null ? 'Left: not in ' + yearName(S.year) + '; in ' : 'Year ') + yearName(y) + ', ' + frameWord(S.frame), tip);
    h('div', {}, c + ' 1 = ' + fix(a[2 * i], 3) + ', ' + c + ' 2 = ' + fix(a[2 * i + 1], 3), tip);
    h('div', {}, st ? 'spread ' + fix(st.spread, 3) + ', mean step ' + (st.step == null ? '\u2014' : fix(st.step, 3)) +
      ' (' + st.years + ' placed years)' : 'not placed: no spread or mean step', tip);
    tip.hidden = false;
    var r = box.getBoundingClientRect(), tx = ev.clientX - r.left + 14, ty = ev.clientY - r.top + 14;
    if (tx + tip.offsetWidth > r.width) tx = Math.max(0, ev.clientX - r.left - tip.offsetWidth - 10);
    if (ty + tip.offsetHeight > r.height) ty = Math.max(0, ev.clientY - r.top - tip.offsetHeight - 10);
    tip.style.left = tx + 'px';
    tip.style.top = ty + 'px';
  }
  function hideTip() { tip.hidden = true; }

  // -------------------------------------------------- zoom, pan, click ---

  function toView(ev) {
    var m = svg.getScreenCTM();
    return m ? { x: (ev.clientX - m.e) / m.a, y: (ev.clientY - m.f) / m.d } : { x: 0, y: 0 };
  }
  svg.addEventListener('wheel', function (ev) {
    ev.preventDefault();
    var p = toView(ev), f = Math.exp(-ev.deltaY * (ev.deltaMode === 1 ? 0.05 : 0.0015));
    var k = Math.min(400, Math.max(0.25, S.k * f)), r = k / S.k;
    S.tx = p.x - M.l - PW / 2 - r * (p.x - M.l - PW / 2 - S.tx);
    S.ty = p.y - M.t - PH / 2 - r * (p.y - M.t - PH / 2 - S.ty);
    S.k = k;
    later({ axes: true, trails: true, points: true });
  }, { passive: false });
  var drag = null;
  svg.addEventListener('pointerdown', function (ev) {
    if (ev.button !== 0) return;
    drag = { x: ev.clientX, y: ev.clientY, tx: S.tx, ty: S.ty, moved: false, target: ev.target };
    svg.setPointerCapture(ev.pointerId);
  });
  svg.addEventListener('pointermove', function (ev) {
    if (drag) {
      var m = svg.getScreenCTM(), ddx = ev.clientX - drag.x, ddy = ev.clientY - drag.y;
      if (Math.abs(ddx) + Math.abs(ddy) > 3) drag.moved = true;
      if (drag.moved && m) {
        S.tx = drag.tx + ddx / m.a; S.ty = drag.ty + ddy / m.d;
        hideTip();
        later({ axes: true, trails: true, points: true });
      }
      return;
    }
    var t = ev.target.closest && ev.target.closest('[data-location],[data-left]');
    if (t) showTip(t, ev); else hideTip();
  });
  svg.addEventListener('pointerup', function (ev) {
    if (!drag) return;
    var d = drag; drag = null;
    svg.releasePointerCapture(ev.pointerId);
    if (d.moved) return;
    var t = d.target.closest && d.target.closest('[data-location],[data-left]');
    if (t) select(byName[t.getAttribute('data-location') || t.getAttribute('data-left')]);
    else if (S.sel >= 0) select(S.sel);
  });
  svg.addEventListener('pointerleave', hideTip);
  svg.addEventListener('dblclick', function () { resetZoom(); });
  function resetZoom() { S.k = 1; S.tx = S.ty = 0; later({ axes: true, trails: true, points: true }); }

  // ------------------------------------------------------------ play ---

  var timer = 0;
  function stop() {
    S.playing = false;
    clearTimeout(timer);
    play.textContent = '\u25b6';
    play.setAttribute('aria-label', 'Play');
  }
  function tick() {
    if (S.year >= nY - 1) return stop();
    setYear(S.year + 1, true);
    timer = setTimeout(tick, (reduceMotion ? 0 : STEP_MS) + HOLD_MS);
  }
  play.addEventListener('click', function () {
    if (S.playing) return stop();
    S.playing = true;
    play.textContent = '\u275a\u275a';
    play.setAttribute('aria-label', 'Pause');
    if (S.year >= nY - 1) setYear(0, false);
    timer = setTimeout(tick, HOLD_MS / 2);
  });
  slider.addEventListener('input', function () { stop(); setYear(Number(slider.value), true); });
  Object.keys(frameInputs).forEach(function (f) {
    frameInputs[f].addEventListener('change', function () { if (frameInputs[f].checked) setFrame(f); });
  });
  trailBox.addEventListener('change', function () { S.trails = trailBox.checked; later({ trails: true }); });
  function showLabels() {
    gPoints.classList.toggle('nolabels', !S.labels);
    gGhosts.classList.toggle('nolabels', !S.labels);
  }
  labelBox.addEventListener('change', function () { S.labels = labelBox.checked; showLabels(); });
  resetBtn.addEventListener('click', resetZoom);

  // ------------------------------------------------------- downloads ---

  var plotStyle = document.getElementById('seqord-plot-style').textContent;
  function svgText() {
    if (anim) { anim.t0 = -Infinity; step(0); drawPoints(true); }
    var c = svg.cloneNode(true);
    c.setAttribute('xmlns', NS);
    c.setAttribute('width', W);
    c.setAttribute('height', H);
    var st = document.createElementNS(NS, 'style');
    st.textContent = plotStyle;
    c.insertBefore(st, c.firstChild);
    return '<?xml version="1.0" encoding="UTF-8"?>\n' + new XMLSerializer().serializeToString(c) + '\n';
  }
  function fileName(ext) {
    return (D.job + '-' + yearName(S.year) + '-' + S.frame).replace(/[^\w.-]+/g, '_') + '.' + ext;
  }
  function save(blob, name) {
    var a = h('a', { download: name, href: URL.createObjectURL(blob) }, null, body);
    a.click();
    setTimeout(function () { URL.revokeObjectURL(a.href); a.remove(); }, 1000);
  }
  function canvasOf(scale) {
    return new Promise(function (resolve, reject) {
      var img = new Image();
      img.onload = function () {
        var cv = document.createElement('canvas');
        cv.width = Math.round(W * scale); cv.height = Math.round(H * scale);
        var g = cv.getContext('2d');
        g.fillStyle = '#fff'; g.fillRect(0, 0, cv.width, cv.height);
        g.drawImage(img, 0, 0, cv.width, cv.height);
        resolve(cv);
      };
      img.onerror = function () { reject(new Error('the view could not be drawn as an image')); };
      img.src = 'data:image/svg+xml;charset=utf-8,' + encodeURIComponent(svgText());
    });
  }
  svgBtn.addEventListener('click', function () { save(new Blob([svgText()], { type: 'image/svg+xml' }), fileName('svg')); });
  pngBtn.addEventListener('click', function () {
    canvasOf(2).then(function (cv) { cv.toBlob(function (b) { save(b, fileName('png')); }, 'image/png'); })
      .catch(function (e) { alert(e.message); });
  });

  // ------------------------------------------------ scripting interface ---

  function index(i) {
    if (typeof i !== 'number' || !Number.isInteger(i) || i < 0 || i >= nY) {
      throw new RangeError('year position ' + i + ' is not one of 0 to ' + (nY - 1));
    }
    return i;
  }
  window.seqordView = Object.freeze({
    years: function () { return D.years.map(function (y) { return y.name; }); },
    year: function () { return S.year; },
    setYear: function (i) { stop(); setYear(index(i), false); },
    frame: function () { return S.frame; },
    setFrame: function (f) { setFrame(f); },
    visibleLocations: function () {
      var out = [];
      marks.forEach(function (g) {
        if (g.classList.contains('present') && g.getAttribute('display') !== 'none') out.push(g.getAttribute('data-location'));
      });
      return out;
    },
    position: function (name) {
      var i = byName[name];
      if (i == null) return null;
      var a = pos[S.frame][S.year];
      return a[2 * i] === a[2 * i] ? [a[2 * i], a[2 * i + 1]] : null;
    },
    select: function (name) { var i = byName[name]; if (i == null) throw new RangeError('no location ' + name); if (S.sel !== i) select(i); },
    svg: svgText,
    png: function (scale) { return canvasOf(scale || 1).then(function (cv) { return cv.toDataURL('image/png'); }); }
  });

  showLabels();
  setFrame(S.frame);
})();
