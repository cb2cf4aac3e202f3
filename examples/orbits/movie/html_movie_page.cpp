#include "html_movie_page.hpp"

namespace orbits {

const char* const HTML_MOVIE_STYLE =
    R"css(body { background: #0e1118; color: #d8dde8; font: 14px sans-serif; margin: 12px 16px; }
h1 { font-size: 18px; margin: 0 0 2px 0; }
.sub { color: #97a0b3; margin: 0 0 8px 0; }
#layout { display: flex; flex-wrap: wrap; gap: 16px; align-items: flex-start; }
#viewer { flex: none; max-width: 100%; }
#stage canvas { background: #141925; border: 1px solid #2a3142; display: block; touch-action: none;
  cursor: grab; }
#stage canvas:focus-visible { outline: 2px solid #5b6b8f; }
.row { display: flex; gap: 8px; align-items: center; margin-top: 6px; }
.row button { min-width: 30px; }
#play { min-width: 64px; }
#scrub { flex: 1 1 auto; min-width: 60px; margin: 0; }
#projection { flex: 1 1 auto; min-width: 0; width: 0; }
#legend { flex: 1 1 200px; min-width: 200px; max-width: 320px; font-size: 13px; line-height: 1.45; }
#legend b { display: block; margin: 0 0 2px 0; }
#legend b + div { margin-bottom: 8px; }
#legend div div { padding-left: 22px; text-indent: -22px; }
#legend .mark { display: inline-block; width: 22px; text-indent: 0; text-align: center; }
#legend kbd { font: 12px monospace; color: #d8dde8; }
#status { color: #97a0b3; font-family: monospace; margin-top: 6px; white-space: nowrap; overflow: hidden;
  text-overflow: ellipsis; }
)css";

const char* const HTML_MOVIE_BODY = R"html(<div id="layout">
<div id="viewer">
<div id="stage"></div>
<div class="row">
<button id="play" type="button">Play</button>
<input id="scrub" type="range" min="0" max="0" value="0" aria-label="frame">
<button id="zoom-out" type="button" title="Zoom out (key -)" aria-label="zoom out">&minus;</button>
<button id="zoom-in" type="button" title="Zoom in (key +)" aria-label="zoom in">+</button>
<button id="zoom-reset" type="button" title="The whole picture, as first shown (key 0)">Reset</button>
</div>
<div class="row">
<label>Speed <select id="speed"><option value="0.25">0.25&times;</option><option value="0.5">0.5&times;</option><option value="1" selected>1&times;</option><option value="2">2&times;</option><option value="4">4&times;</option></select></label>
<label for="projection">Projection</label> <select id="projection"></select>
</div>
<div id="status">loading</div>
</div>
<div id="legend">
<b>Legend</b>
<div>
<div><span class="mark" style="color:#ffffff">&#9711;</span> start of a body's path</div>
<div><span class="mark" style="color:#ffffff">&#9633;</span> end of a body's path</div>
<div><span class="mark" style="color:#ffb347">&#9654;</span> body now, pointing the way it moves</div>
<div><span class="mark" style="color:#ffb347">&#9472;</span> its trail over the last frames, fading; one colour per body</div>
<div><span class="mark" style="color:#f2f2f2">&#9679;</span> attractor, <span style="color:#f2f2f2">&#9675;</span> its antipode</div>
<div><span class="mark" style="color:#ff4d4d">&#9678;</span> contact between two bodies, as it happens</div>
<div><span class="mark" style="color:#ffe34d">&#9678;</span> capture by an attractor</div>
<div><span class="mark" style="color:#6f7a91">&#8943;</span> clipping circle: nothing beyond it is drawn (too near the projection's singular set)</div>
</div>
<b>View</b>
<div>
<div>drag: turn the picture</div>
<div>shift-drag, right-drag, arrows: move it</div>
<div>wheel, pinch, <kbd>+</kbd> <kbd>&minus;</kbd>: zoom</div>
<div><kbd>0</kbd> or Reset: the whole picture again</div>
<div>space: play or pause</div>
</div>
<b>Numbering</b>
<div>Frames count from 0, as steps do: frame 0 is step 0. Opened as
<kbd>page.html#frame=N</kbd> it shows frame N; <kbd>#paused</kbd> holds it there.</div>
</div>
</div>
)html";

const char* const HTML_MOVIE_SCRIPT = R"js((function () {
  'use strict';
  var errors = [];
  var statusBox = document.getElementById('status');
  function noteError(text) {
    errors.push(text);
    statusBox.setAttribute('data-errors', String(errors.length));
    statusBox.textContent = 'error: ' + errors[0];
  }
  window.addEventListener('error', function (event) { noteError(String(event.message)); });
  document.addEventListener('securitypolicyviolation', function (event) {
    noteError('blocked ' + (event.blockedURI || 'inline') + ' by ' + event.violatedDirective);
  });
  var consoleError = console.error;
  console.error = function () {
    noteError(Array.prototype.join.call(arguments, ' '));
    consoleError.apply(console, arguments);
  };

  var run = JSON.parse(document.getElementById('run-data').textContent);
  var bodies = run.bodies;
  var frames = run.steps.length;
  var last = frames - 1;
  var TRAIL = Math.max(8, Math.min(60, Math.round(frames / 12)));
  var MAX_SIZE = 680, MIN_SIZE = 240, LEGEND_WIDTH = 200, GAP = 16;
  var MIN_ZOOM = 0.5, MAX_ZOOM = 64, ZOOM_STEP = 1.25, PAN_STEP = 40;
  var size = MAX_SIZE;  // the canvas's side in CSS pixels, fitted to the window

  var viewer = document.getElementById('viewer');
  var stage = document.getElementById('stage');
  var canvas = document.createElement('canvas');
  canvas.tabIndex = 0;
  canvas.setAttribute('aria-label', 'the bodies in motion; drag to turn, wheel to zoom');
  stage.appendChild(canvas);
  var g = canvas.getContext('2d');

  var playButton = document.getElementById('play');
  var scrub = document.getElementById('scrub');
  var speedSelect = document.getElementById('speed');
  var projectionSelect = document.getElementById('projection');
  scrub.max = String(last);
  run.projections.forEach(function (p, k) {
    var option = document.createElement('option');
    option.value = String(k);
    option.textContent = p.name;
    projectionSelect.appendChild(option);
  });

  var TURN = { yaw: 0.35, pitch: 0.95 };
  var state = { frame: 0, playing: true, speed: 1, projection: 0, drawn: 0, dirty: true };
  // The view: turned by yaw and pitch, then scaled by zoom and moved by pan (in CSS pixels).
  var view = { yaw: TURN.yaw, pitch: TURN.pitch, zoom: 1, panX: 0, panY: 0 };

  // A link can name the moment to show: #frame=N (frames count from 0, as steps do) starts
  // there, #paused does not play.
  function readHash() {
    var startFrame = /frame=([0-9]+)/.exec(window.location.hash);
    if (startFrame) state.frame = Math.min(last, Number(startFrame[1]));
    if (/paused/.test(window.location.hash)) state.playing = false;
    playButton.textContent = state.playing ? 'Pause' : 'Play';
    changed();
  }
  readHash();
  window.addEventListener('hashchange', readHash);
  // The whole run plays in about 20 seconds at 1×, and never slower than 30 frames a second.
  var FRAMES_PER_SECOND = Math.max(30, frames / 20);

  // The canvas takes the room the window has: beside the legend while both fit side by side,
  // else the whole width; and short enough that the controls below it stay in view.
  function fit() {
    var margins = parseFloat(getComputedStyle(document.body).marginLeft) +
                  parseFloat(getComputedStyle(document.body).marginRight);
    var room = document.documentElement.clientWidth - margins;
    var beside = room - LEGEND_WIDTH - GAP;
    var across = beside >= 2 * LEGEND_WIDTH ? beside : room;
    for (var pass = 0; pass < 2; pass++) {
      var below = viewer.offsetHeight - stage.offsetHeight + 12;
      var top = stage.getBoundingClientRect().top + window.scrollY;
      var tall = window.innerHeight - top - below;
      var fitted = Math.floor(Math.max(MIN_SIZE, Math.min(MAX_SIZE, across - 2, tall - 2)));
      size = Math.max(100, Math.min(fitted, Math.floor(room) - 2));
      var ratio = window.devicePixelRatio || 1;
      canvas.width = Math.round(size * ratio);
      canvas.height = Math.round(size * ratio);
      canvas.style.width = size + 'px';
      canvas.style.height = size + 'px';
      viewer.style.width = (size + 2) + 'px';
      g.setTransform(canvas.width / size, 0, 0, canvas.height / size, 0, 0);
    }
    state.dirty = true;
  }

  function hue(i) { return 360 * i / Math.max(1, bodies); }
  function colour(i, alpha) { return 'hsla(' + hue(i).toFixed(1) + ',85%,64%,' + alpha.toFixed(3) + ')'; }

  // Orthographic view: yaw about z, then pitch toward the viewer; page y points down.
  function toPage(x, y, z, scale) {
    var cy = Math.cos(view.yaw), sy = Math.sin(view.yaw);
    var cp = Math.cos(view.pitch), sp = Math.sin(view.pitch);
    var x1 = cy * x - sy * y;
    var y1 = sy * x + cy * y;
    var up = cp * z + sp * y1;
    var s = scale * view.zoom;
    return [size / 2 + view.panX + s * x1, size / 2 + view.panY - s * up];
  }

  // The page position of body i in frame f, or null where the projection has no image.
  function at(positions, f, i, scale) {
    var k = 3 * (f * bodies + i);
    var x = positions[k];
    if (x === null) return null;
    return toPage(x, positions[k + 1], positions[k + 2], scale);
  }

  function circle(p, r) { g.beginPath(); g.arc(p[0], p[1], r, 0, 2 * Math.PI); }

  function drawGuide(projection, scale) {
    var centre = toPage(0, 0, 0, scale);
    g.strokeStyle = '#2e3648';
    g.lineWidth = 1;
    circle(centre, scale * view.zoom);
    g.stroke();
    // The equator of the guide sphere, seen at the view's tilt.
    g.beginPath();
    for (var t = 0; t <= 64; t++) {
      var q = toPage(Math.cos(t * Math.PI / 32), Math.sin(t * Math.PI / 32), 0, scale);
      if (t === 0) g.moveTo(q[0], q[1]); else g.lineTo(q[0], q[1]);
    }
    g.stroke();
    if (projection.outline === 'ball') {
      g.setLineDash([4, 6]);
      g.strokeStyle = '#6f7a91';
      circle(centre, scale * view.zoom * projection.radius);
      g.stroke();
      g.setLineDash([]);
    }
  }

  function drawAttractors(projection, scale) {
    projection.attractors.forEach(function (a) {
      if (a[0] !== null) {
        g.fillStyle = '#f2f2f2';
        circle(toPage(a[0], a[1], a[2], scale), 6);
        g.fill();
      }
      if (a[3] !== null) {
        g.strokeStyle = '#f2f2f2';
        g.lineWidth = 1.5;
        circle(toPage(a[3], a[4], a[5], scale), 6);
        g.stroke();
      }
    });
  }

  function drawTrail(positions, f, i, scale) {
    var first = Math.max(0, f - TRAIL);
    var previous = at(positions, first, i, scale);
    g.lineWidth = 1.6;
    for (var k = first + 1; k <= f; k++) {
      var p = at(positions, k, i, scale);
      if (p !== null && previous !== null) {
        g.strokeStyle = colour(i, 0.9 * (1 - (f - k) / (TRAIL + 1)));
        g.beginPath();
        g.moveTo(previous[0], previous[1]);
        g.lineTo(p[0], p[1]);
        g.stroke();
      }
      previous = p;
    }
  }

  // A triangle at the body's position pointing from an earlier position toward it.
  function drawHead(positions, f, i, scale) {
    var p = at(positions, f, i, scale);
    if (p === null) return;
    var dx = 0, dy = 0;
    for (var k = f - 1; k >= Math.max(0, f - 4) && Math.abs(dx) + Math.abs(dy) < 0.5; k--) {
      var q = at(positions, k, i, scale);
      if (q === null) break;
      dx = p[0] - q[0];
      dy = p[1] - q[1];
    }
    g.fillStyle = colour(i, 1);
    var length = Math.sqrt(dx * dx + dy * dy);
    if (length < 0.5) {
      circle(p, 3);
      g.fill();
      return;
    }
    var ux = dx / length, uy = dy / length;
    g.beginPath();
    g.moveTo(p[0] + 7 * ux, p[1] + 7 * uy);
    g.lineTo(p[0] - 4 * ux - 4 * uy, p[1] - 4 * uy + 4 * ux);
    g.lineTo(p[0] - 4 * ux + 4 * uy, p[1] - 4 * uy - 4 * ux);
    g.closePath();
    g.fill();
  }

  function drawEnds(positions, i, scale) {
    var start = at(positions, 0, i, scale);
    var end = at(positions, last, i, scale);
    g.strokeStyle = colour(i, 0.55);
    g.lineWidth = 1.2;
    if (start !== null) { circle(start, 4); g.stroke(); }
    if (end !== null) g.strokeRect(end[0] - 3.5, end[1] - 3.5, 7, 7);
  }

  // Rings that grow and fade over the frames after the event.
  function drawEvents(projection, positions, f, scale) {
    var RING_FRAMES = Math.max(6, Math.round(TRAIL / 2));
    var seen = 0;
    run.contacts.forEach(function (c) {
      if (c[0] <= f) seen++;
      var age = f - c[0];
      if (age < 0 || age > RING_FRAMES) return;
      var p = at(positions, c[0], c[1], scale);
      if (p === null) return;
      g.strokeStyle = 'rgba(255,77,77,' + (1 - age / (RING_FRAMES + 1)).toFixed(3) + ')';
      g.lineWidth = 2;
      circle(p, 6 + 2 * age);
      g.stroke();
    });
    run.captures.forEach(function (c) {
      var age = f - c[0];
      if (age < 0 || age > RING_FRAMES) return;
      var a = projection.attractors[c[2]];
      if (!a || a[0] === null) return;
      g.strokeStyle = 'rgba(255,227,77,' + (1 - age / (RING_FRAMES + 1)).toFixed(3) + ')';
      g.lineWidth = 2;
      circle(toPage(a[0], a[1], a[2], scale), 9 + 2 * age);
      g.stroke();
    });
    return seen;
  }

  // One numbering everywhere: frames and steps both count from 0, the start of the run.
  function moment(f) { return 'frame ' + f + ' of ' + last + ', step ' + run.steps[f] + ' of ' + run.steps[last]; }
  function zoomText() { return (view.zoom < 10 ? view.zoom.toFixed(2) : view.zoom.toFixed(1)) + '\u00d7'; }

  function draw() {
    var projection = run.projections[state.projection];
    var positions = projection.positions;
    var scale = 0.46 * size / projection.radius;
    var f = Math.min(last, Math.floor(state.frame));
    g.fillStyle = '#141925';
    g.fillRect(0, 0, size, size);
    drawGuide(projection, scale);
    drawAttractors(projection, scale);
    for (var i = 0; i < bodies; i++) drawEnds(positions, i, scale);
    for (i = 0; i < bodies; i++) drawTrail(positions, f, i, scale);
    for (i = 0; i < bodies; i++) drawHead(positions, f, i, scale);
    var contacts = drawEvents(projection, positions, f, scale);
    var caption = moment(f) + '   contacts so far ' + contacts + (view.zoom !== 1 ? '   zoom ' + zoomText() : '');
    g.font = '13px sans-serif';
    g.fillStyle = 'rgba(20,25,37,0.8)';
    g.fillRect(4, 6, g.measureText(caption).width + 12, 20);
    g.fillStyle = '#d8dde8';
    g.fillText(caption, 10, 20);
    state.drawn++;
    state.dirty = false;
    if (state.drawn % 20 === 1) countPainted();
    report();
  }

  // A change of the moment or the view: reported at once, drawn at the next display refresh.
  function changed() {
    state.dirty = true;
    report();
  }

  function countPainted() {
    var painted = 0;
    var pixels = g.getImageData(0, 0, canvas.width, canvas.height).data;
    for (var k = 0; k < pixels.length; k += 4) {
      if (pixels[k] !== 0x14 || pixels[k + 1] !== 0x19 || pixels[k + 2] !== 0x25) painted++;
    }
    statusBox.setAttribute('data-painted', String(painted));
  }

  // What a test can read from the page: frames drawn, the frame shown, errors, painted pixels
  // (now and then) and the view's zoom and pan.
  function report() {
    var f = Math.min(last, Math.floor(state.frame));
    scrub.value = String(f);
    scrub.setAttribute('aria-valuetext', moment(f));
    statusBox.setAttribute('data-drawn', String(state.drawn));
    statusBox.setAttribute('data-frame', String(f));
    statusBox.setAttribute('data-errors', String(errors.length));
    statusBox.setAttribute('data-zoom', String(Math.round(view.zoom * 1000) / 1000));
    statusBox.setAttribute('data-pan', Math.round(view.panX) + ',' + Math.round(view.panY));
    statusBox.textContent = moment(f) + '; zoom ' + zoomText() + (errors.length ? '; error: ' + errors[0] : '');
  }

  var lastTime = null;
  function tick(now) {
    if (lastTime !== null && state.playing) {
      state.frame += (now - lastTime) / 1000 * FRAMES_PER_SECOND * state.speed;
      if (state.frame >= last) {
        state.frame = last;
        state.playing = false;
        playButton.textContent = 'Play';
      }
      state.dirty = true;
    }
    lastTime = now;
    if (state.dirty) draw();
    window.requestAnimationFrame(tick);
  }

  // Zoom by `factor` keeping the picture's point at canvas position (x, y) where it is.
  function zoomAt(x, y, factor) {
    var zoom = Math.max(MIN_ZOOM, Math.min(MAX_ZOOM, view.zoom * factor));
    var kept = zoom / view.zoom;
    view.panX = x - size / 2 - (x - size / 2 - view.panX) * kept;
    view.panY = y - size / 2 - (y - size / 2 - view.panY) * kept;
    view.zoom = zoom;
    changed();
  }
  function panBy(dx, dy) {
    view.panX += dx;
    view.panY += dy;
    changed();
  }
  function resetView() {
    view = { yaw: TURN.yaw, pitch: TURN.pitch, zoom: 1, panX: 0, panY: 0 };
    changed();
  }
  function togglePlay() {
    if (!state.playing && state.frame >= last) state.frame = 0;
    state.playing = !state.playing;
    playButton.textContent = state.playing ? 'Pause' : 'Play';
    changed();
  }
  function onCanvas(e) {
    var box = canvas.getBoundingClientRect();
    return [e.clientX - box.left, e.clientY - box.top];
  }

  playButton.addEventListener('click', togglePlay);
  scrub.addEventListener('input', function () { state.frame = Number(scrub.value); changed(); });
  speedSelect.addEventListener('change', function () { state.speed = Number(speedSelect.value); });
  projectionSelect.addEventListener('change', function () {
    state.projection = Number(projectionSelect.value);
    changed();
  });
  document.getElementById('zoom-in').addEventListener('click', function () { zoomAt(size / 2, size / 2, ZOOM_STEP); });
  document.getElementById('zoom-out').addEventListener('click', function () { zoomAt(size / 2, size / 2, 1 / ZOOM_STEP); });
  document.getElementById('zoom-reset').addEventListener('click', resetView);

  // The wheel zooms at the pointer; a trackpad's pinch arrives as a wheel with ctrlKey.
  canvas.addEventListener('wheel', function (e) {
    e.preventDefault();
    var lines = e.deltaMode === 1 ? 16 : e.deltaMode === 2 ? size : 1;
    var p = onCanvas(e);
    zoomAt(p[0], p[1], Math.exp(-e.deltaY * lines * (e.ctrlKey ? 0.01 : 0.002)));
  }, { passive: false });

  // One pointer turns the view (moves it with shift or the right button); two pinch and move it.
  var pointers = {};
  canvas.addEventListener('pointerdown', function (e) {
    try { canvas.setPointerCapture(e.pointerId); } catch (ignored) { /* a pointer no longer down */ }
    pointers[e.pointerId] = onCanvas(e);
    canvas.focus({ preventScroll: true });
    e.preventDefault();
  });
  canvas.addEventListener('pointermove', function (e) {
    var before = pointers[e.pointerId];
    if (!before) return;
    var now = onCanvas(e);
    var ids = Object.keys(pointers);
    if (ids.length >= 2) {
      var other = pointers[ids[0] === String(e.pointerId) ? ids[1] : ids[0]];
      // The point under the fingers' midpoint follows it, and the zoom follows their distance.
      var apart = Math.hypot(before[0] - other[0], before[1] - other[1]);
      view.panX += (now[0] - before[0]) / 2;
      view.panY += (now[1] - before[1]) / 2;
      var ratio = apart > 0 ? Math.hypot(now[0] - other[0], now[1] - other[1]) / apart : 1;
      zoomAt((now[0] + other[0]) / 2, (now[1] + other[1]) / 2, ratio);
    } else if (e.shiftKey || (e.buttons & 6) !== 0) {
      panBy(now[0] - before[0], now[1] - before[1]);
    } else {
      view.yaw += (now[0] - before[0]) * 0.01;
      view.pitch = Math.max(-1.5, Math.min(1.5, view.pitch + (now[1] - before[1]) * 0.01));
      changed();
    }
    pointers[e.pointerId] = now;
  });
  function release(e) { delete pointers[e.pointerId]; }
  canvas.addEventListener('pointerup', release);
  canvas.addEventListener('pointercancel', release);
  canvas.addEventListener('contextmenu', function (e) { e.preventDefault(); });

  document.addEventListener('keydown', function (e) {
    var tag = e.target && e.target.tagName;
    if (e.ctrlKey || e.metaKey || e.altKey || tag === 'INPUT' || tag === 'SELECT' || tag === 'TEXTAREA') return;
    var steps = { ArrowLeft: [PAN_STEP, 0], ArrowRight: [-PAN_STEP, 0], ArrowUp: [0, PAN_STEP], ArrowDown: [0, -PAN_STEP] };
    if (e.key === '+' || e.key === '=') zoomAt(size / 2, size / 2, ZOOM_STEP);
    else if (e.key === '-' || e.key === '_') zoomAt(size / 2, size / 2, 1 / ZOOM_STEP);
    else if (e.key === '0') resetView();
    else if (steps[e.key]) panBy(steps[e.key][0], steps[e.key][1]);
    else if (e.key === ' ' && tag !== 'BUTTON') togglePlay();
    else return;
    e.preventDefault();
  });

  window.addEventListener('resize', fit);
  fit();
  draw();
  window.requestAnimationFrame(tick);
})();
)js";

}  // namespace orbits
