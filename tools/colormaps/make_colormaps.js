'use strict';
// Generates the colormap images of the pickers and the renderer into
// resources/colormaps/ (or the folder given as the first argument):
//   <name>.png           200 x 1 colour table, lowest value at the left
//   <name>_vert.png      24 x 168 button image, highest value at the top
//   <name>_vert_disc.png 24 x 168 button image in 10 equal bands
//   2D_<name>.png        128 x 128 two-dimensional colour fields
// The smooth maps sample the pinned d3 / d3-scale-chromatic interpolators;
// a quadratic correction of at most a few units makes pixels 0, 100 and 199
// equal the reference samples below. Run: node tools/colormaps/make_colormaps.js
const path = require('path');
const fs = require('fs');
const d3 = require('d3');
const chromatic = require('d3-scale-chromatic');
const png = require('./png.js');

const TABLE = 200;
const VERT_W = 24, VERT_H = 168, BANDS = 10;
const SIDE = 2 ** 7;

function rgbOf(hex) {
  const v = parseInt(hex.slice(1), 16);
  return [(v >> 16) & 255, (v >> 8) & 255, v & 255];
}

function sampled(interpolator, reversed) {
  const out = [];
  for (let i = 0; i < TABLE; ++i) {
    const t = i / (TABLE - 1);
    const c = d3.rgb(interpolator(reversed ? 1 - t : t));
    out.push([c.r, c.g, c.b]);
  }
  return out;
}

// Adds, per channel, the quadratic through the differences at pixels 0, 100
// and 199, so that those pixels become exactly the reference colours.
function pinned(table, refs) {
  const xs = [0, 100, TABLE - 1];
  return table.map((c, i) => c.map((v, ch) => {
    const d = xs.map((x, k) => rgbOf(refs[k])[ch] - table[x][ch]);
    let corr = 0;
    for (let k = 0; k < 3; ++k) {
      let l = 1;
      for (let m = 0; m < 3; ++m) if (m !== k) l *= (i - xs[m]) / (xs[k] - xs[m]);
      corr += d[k] * l;
    }
    return Math.max(0, Math.min(255, Math.round(v + corr)));
  }));
}

function bands(colours, widths) {
  const out = [];
  colours.forEach((c, k) => { for (let n = 0; n < widths[k]; ++n) out.push(rgbOf(c)); });
  return out;
}

// name, interpolator, reversed (diverging maps run from their cool end), reference samples
const SMOOTH = [
  ['Spectral', chromatic.interpolateSpectral, true, ['#5E50A2', '#FBF8B0', '#9F0242']],
  ['RdYlBu', chromatic.interpolateRdYlBu, true, ['#313795', '#FAF8C0', '#A60126']],
  ['PiYG', chromatic.interpolatePiYG, true, ['#286519', '#F6F3F0', '#8F0152']],
  ['PuOr', chromatic.interpolatePuOr, true, ['#2D004C', '#F3EEEA', '#803C08']],
  ['Magma', d3.interpolateMagma, false, ['#000004', '#B73779', '#FCFDBF']],
  ['Plasma', d3.interpolatePlasma, false, ['#0D0887', '#CC4778', '#F0F921']],
  ['Viridis', d3.interpolateViridis, false, ['#440154', '#21918C', '#FDE725']],
  ['RdPu', chromatic.interpolateRdPu, false, ['#FFF7F3', '#F367A2', '#4A006A']],
  ['YlGnBu', chromatic.interpolateYlGnBu, false, ['#FFFFD9', '#44B3C2', '#091D59']],
  ['GnBu', chromatic.interpolateGnBu, false, ['#F7FCF0', '#7ACAC4', '#084182']],
  ['BuPu', chromatic.interpolateBuPu, false, ['#F7FCFD', '#8F95C6', '#4E004C']],
  ['YlOrRd', chromatic.interpolateYlOrRd, false, ['#FFFFCC', '#FD883B', '#810026']],
  ['Reds', chromatic.interpolateReds, false, ['#FFF5F0', '#FB694A', '#69000E']],
];

// Offered by no picker: colour table and vertical image only.
const EXTRA = [
  ['BrBG', chromatic.interpolateBrBG, true],
  ['RdBu', chromatic.interpolateRdBu, true],
  ['RdYlGn', chromatic.interpolateRdYlGn, true],
  ['YlGn', chromatic.interpolateYlGn, false],
  ['YlOrBr', chromatic.interpolateYlOrBr, false],
];

const QUALITATIVE = bands(['#8DD3C7', '#FFFFB3', '#BEBADA', '#FB8072', '#80B1D3', '#FDB462', '#B3DE69',
                           '#FCCDE5', '#D9D9D9', '#BC80BD'], Array(10).fill(20));
const Q_BLGRRD = bands(['#000000', '#0D0C08', '#92918D', '#B3B3B2', '#A8A8A8', '#A3B3B3', '#B49192', '#F80C0D',
                        '#FF0000', '#FB0101', '#ED0605'], [63, 1, 1, 1, 66, 1, 1, 1, 63, 1, 1]);

function flat(rows) {
  return Uint8Array.from(rows.flat());
}

function vertical(table) {
  const rows = [];
  for (let y = 0; y < VERT_H; ++y) {
    const c = table[Math.round((VERT_H - 1 - y) / (VERT_H - 1) * (TABLE - 1))];
    for (let x = 0; x < VERT_W; ++x) rows.push(c);
  }
  return rows;
}

// Ten equal bands, each in the colour of its middle value.
function verticalDiscrete(table) {
  const rows = [];
  for (let y = 0; y < VERT_H; ++y) {
    const band = Math.min(BANDS - 1, Math.floor((VERT_H - 1 - y) * BANDS / VERT_H));
    const c = table[Math.round((band + 0.5) / BANDS * (TABLE - 1))];
    for (let x = 0; x < VERT_W; ++x) rows.push(c);
  }
  return rows;
}

// Corner colours plus a smooth bump through the centre colour; the pixel
// coordinate runs 0 -> 0.5 -> 1 at pixels 0, SIDE/2 and SIDE-1 so that the
// five reference pixels are hit exactly.
function field2D(tl, tr, bl, br, centre) {
  const [TL, TR, BL, BR, C] = [tl, tr, bl, br, centre].map(rgbOf);
  const half = SIDE / 2;
  const param = p => (p <= half ? p / (2 * half) : 0.5 + (p - half) / (2 * (SIDE - 1 - half)));
  const rows = [];
  for (let y = 0; y < SIDE; ++y) {
    const v = param(y);
    for (let x = 0; x < SIDE; ++x) {
      const u = param(x);
      rows.push([0, 1, 2].map(ch => {
        const bilinear = (1 - u) * (1 - v) * TL[ch] + u * (1 - v) * TR[ch] + (1 - u) * v * BL[ch] + u * v * BR[ch];
        const mid = (TL[ch] + TR[ch] + BL[ch] + BR[ch]) / 4;
        const bump = 16 * u * (1 - u) * v * (1 - v);
        return Math.max(0, Math.min(255, Math.round(bilinear + (C[ch] - mid) * bump)));
      }));
    }
  }
  return rows;
}

const FIELDS = [
  ['2D_Tarn', '#549305', '#009ADA', '#F93522', '#CF47DB', '#A07A7F'],
  ['2D_Tarn_stretched', '#009CD1', '#189748', '#777BD2', '#B4754C', '#5E8B8D'],
  ['2D_Halvick', '#E6DA00', '#00E0DF', '#FF0076', '#002CFF', '#C18CA6'],
  ['2D_Drisco_noWhitening', '#0080FF', '#AD00AD', '#52FF52', '#FF8000', '#81807E'],
];

const out = process.argv[2] || path.join(__dirname, '..', '..', 'resources', 'colormaps');
fs.mkdirSync(out, { recursive: true });
const save = (name, w, h, rows) => png.write(path.join(out, name + '.png'), w, h, 3, flat(rows));

const oneD = SMOOTH.map(([name, f, rev, refs]) => [name, pinned(sampled(f, rev), refs)])
  .concat([['qualitative', QUALITATIVE], ['Q_BlGrRd', Q_BLGRRD]]);
for (const [name, table] of oneD) {
  save(name, TABLE, 1, table);
  save(name + '_vert', VERT_W, VERT_H, vertical(table));
  save(name + '_vert_disc', VERT_W, VERT_H, verticalDiscrete(table));
}
for (const [name, f, rev] of EXTRA) {
  const table = sampled(f, rev).map(c => c.map(Math.round));
  save(name, TABLE, 1, table);
  save(name + '_vert', VERT_W, VERT_H, vertical(table));
}
for (const [name, ...colours] of FIELDS) save(name, SIDE, SIDE, field2D(...colours));
