'use strict';
// Draws the overlay panels' button icons as white, anti-aliased PNGs with
// transparent backgrounds: node tools/icons/make_icons.js <output folder>
const path = require('path');
const png = require('../colormaps/png.js');

const SAMPLES = 4;

// Renders `inside(x, y)` (pixel coordinates, y down) with SAMPLES x SAMPLES
// sub-pixels per pixel into a white RGBA image whose alpha is the coverage.
function draw(width, height, inside, alpha = 1.0) {
  const pixels = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      let hits = 0;
      for (let sy = 0; sy < SAMPLES; ++sy)
        for (let sx = 0; sx < SAMPLES; ++sx)
          if (inside(x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES)) ++hits;
      const i = (y * width + x) * 4;
      pixels[i] = pixels[i + 1] = pixels[i + 2] = 255;
      pixels[i + 3] = Math.round(255 * alpha * hits / (SAMPLES * SAMPLES));
    }
  }
  return pixels;
}

// Distance from p to the segment a-b.
function segmentDistance(px, py, ax, ay, bx, by) {
  const dx = bx - ax, dy = by - ay;
  const t = Math.max(0, Math.min(1, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)));
  return Math.hypot(px - (ax + t * dx), py - (ay + t * dy));
}

function inTriangle(px, py, a, b, c) {
  const s = (p, q, r) => (p[0] - r[0]) * (q[1] - r[1]) - (q[0] - r[0]) * (p[1] - r[1]);
  const p = [px, py];
  const d1 = s(p, a, b), d2 = s(p, b, c), d3 = s(p, c, a);
  return !((d1 < 0 || d2 < 0 || d3 < 0) && (d1 > 0 || d2 > 0 || d3 > 0));
}

function roundedRect(px, py, x0, y0, x1, y1, r) {
  const cx = Math.max(x0 + r, Math.min(px, x1 - r));
  const cy = Math.max(y0 + r, Math.min(py, y1 - r));
  return px >= x0 && px <= x1 && py >= y0 && py <= y1 && Math.hypot(px - cx, py - cy) <= r;
}

// A chevron across the middle of the 100 x 15 handle: up (open the panel) or down.
function chevron(up) {
  return (x, y) => {
    const tipY = up ? 4 : 11, armY = up ? 11 : 4;
    return segmentDistance(x, y, 38, armY, 50, tipY) <= 1.6 || segmentDistance(x, y, 50, tipY, 62, armY) <= 1.6;
  };
}

function camera(x, y) {
  const body = roundedRect(x, y, 3, 7, 21, 19, 2);
  const hump = roundedRect(x, y, 8, 5, 15, 8, 1);
  const lens = Math.hypot(x - 12, y - 13);
  // The lens is a transparent ring with a white centre.
  return (body || hump) && !(lens > 2 && lens <= 4);
}

function options(x, y) {
  // Three slider lines with knobs at different places.
  const rows = [[7, 8], [12, 15], [17, 10]];
  for (const [ry, knob] of rows) {
    if (segmentDistance(x, y, 4, ry, 20, ry) <= 0.9) return true;
    if (Math.hypot(x - knob, y - ry) <= 2.4) return true;
  }
  return false;
}

function run(x, y) {
  return inTriangle(x, y, [12, 8], [12, 27], [27, 17.5]);
}

function pause(x, y) {
  return roundedRect(x, y, 10, 9, 15, 26, 1) || roundedRect(x, y, 20, 9, 25, 26, 1);
}

function replay(x, y) {
  const r = Math.hypot(x - 17.5, y - 17.5);
  const angle = Math.atan2(y - 17.5, x - 17.5);
  // A ring open at the top-left, with an arrow head at the opening.
  const ring = r >= 8 && r <= 11 && !(angle < -Math.PI / 2 && angle > -Math.PI * 0.95);
  const head = inTriangle(x, y, [13.5, 2.5], [13.5, 14.5], [6.5, 8.5]);
  return ring || head;
}

const out = process.argv[2] || path.join(__dirname, '..', '..', 'resources', 'overlay_icons');
const icons = [
  ['openArrow', 100, 15, chevron(true)],
  ['closeArrow', 100, 15, chevron(false)],
  ['cameraBt', 24, 24, camera],
  ['optionsBt', 24, 24, options],
  ['runBt', 35, 35, run],
  ['pauseBt', 35, 35, pause],
  ['replayBt', 35, 35, replay],
];
require('fs').mkdirSync(out, { recursive: true });
for (const [name, w, h, shape] of icons) {
  png.write(path.join(out, name + '.png'), w, h, 4, draw(w, h, shape, 0.9));
}
