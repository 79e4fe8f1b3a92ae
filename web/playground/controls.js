// Controls generated from the registry: one fieldset a stage, one control a parameter (a select
// for choices, a checkbox for a 0-or-1 integer, text for maps and times, else a slider with a
// number box). A parameter at its default is left out of the text.
import { findFamily, findParameter } from './chain.js';

const STEPS = 1000;

const element = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};

export function defaultText(p) {
  if (p.choices) return typeof p.default === 'number' ? p.choices[p.default] : String(p.default);
  return p.text ? '' : String(p.default);
}

const isDefault = (p, value) =>
  p.choices ? value.toLowerCase() === defaultText(p).toLowerCase() : value === defaultText(p) || (!p.text && value !== '' && Number(value) === p.default);

const logScale = (p) => p.min > 0 && p.max / p.min >= 100;

function toSlider(p, value) {
  const v = Math.min(Math.max(Number(value), p.min), p.max);
  const t = logScale(p) ? Math.log(v / p.min) / Math.log(p.max / p.min) : (v - p.min) / (p.max - p.min);
  return Math.round((Number.isFinite(t) ? t : 0) * STEPS);
}

function fromSlider(p, position) {
  const t = position / STEPS;
  const v = logScale(p) ? p.min * Math.pow(p.max / p.min, t) : p.min + (p.max - p.min) * t;
  const rounded = p.integer ? Math.round(v) : Number(v.toPrecision(3));
  return String(Math.min(Math.max(rounded, p.min), p.max));
}

// The value a stage gives `p`, as written, or its default.
function valueOf(stage, p) {
  const given = stage.params.find(([key]) => key.toLowerCase() === p.name);
  return given ? given[1] : defaultText(p);
}

function setValue(stage, p, value) {
  const at = stage.params.findIndex(([key]) => key.toLowerCase() === p.name);
  if (isDefault(p, value)) {
    if (at >= 0) stage.params.splice(at, 1);
  } else if (at >= 0) {
    stage.params[at][1] = value;
  } else {
    stage.params.push([p.name, value]);
  }
}

function control(id, p, value, commit) {
  const unit = p.unit ? ` (${p.unit})` : '';
  const label = element('label', { htmlFor: id, textContent: p.name + unit, title: p.description });
  if (p.choices) {
    const select = element('select', { id, title: p.description });
    select.append(...p.choices.map((c) => element('option', { value: c, textContent: c })));
    select.value = p.choices.find((c) => c.toLowerCase() === value.toLowerCase()) ?? value;
    select.addEventListener('change', () => commit(select.value));
    return [label, select];
  }
  if (p.integer && p.min === 0 && p.max === 1) {
    const box = element('input', { id, type: 'checkbox', checked: Number(value) === 1, title: p.description });
    box.addEventListener('change', () => commit(box.checked ? '1' : '0'));
    return [label, element('span', { className: 'check' }, box)];
  }
  if (p.text || p.time) {
    const hint = p.time ? `seconds, or frames as 4410s; ${p.min} to ${p.max}` : p.description;
    const input = element('input', { id, type: 'text', value, placeholder: hint, title: p.description, spellcheck: false });
    if (p.time) input.inputMode = 'decimal';
    input.addEventListener('change', () => commit(input.value.trim()));
    return [label, input];
  }
  const number = element('input', { id, type: 'number', value, min: p.min, max: p.max, step: p.integer ? 1 : 'any', title: p.description });
  const slider = element('input', { type: 'range', min: 0, max: STEPS, value: toSlider(p, value), ariaLabel: `${p.name} slider` });
  slider.addEventListener('input', () => {
    number.value = fromSlider(p, slider.valueAsNumber);
    commit(number.value);
  });
  number.addEventListener('change', () => {
    slider.value = toSlider(p, number.value);
    commit(number.value.trim());
  });
  return [label, element('span', { className: 'pair' }, slider, number)];
}

function moveButton(text, label, action) {
  const button = element('button', { type: 'button', textContent: text, ariaLabel: label, title: label });
  button.addEventListener('click', action);
  return button;
}

// Fills `list` with the stages' controls. `changed(structural)` runs after every edit of `stages`;
// structural edits (move, remove) want the list drawn again.
export function renderStages(list, effects, stages, changed) {
  list.replaceChildren();
  stages.forEach((stage, index) => {
    const family = findFamily(effects, stage.name);
    const legend = element('legend', { textContent: `${index + 1}. ${stage.name}` });
    const tools = element(
      'span',
      { className: 'tools' },
      moveButton('↑', `Move ${stage.name} up`, () => move(index, -1, 0)),
      moveButton('↓', `Move ${stage.name} down`, () => move(index, 1, 1)),
      moveButton('✕', `Remove ${stage.name}`, () => {
        stages.splice(index, 1);
        changed(true, { index: Math.min(index, stages.length - 1), button: 2 });
      })
    );
    const about = element('p', {
      className: 'about',
      textContent: family ? family.description : 'not an effect name: the stage copies the audio',
    });
    const grid = element('div', { className: 'params' });
    for (const p of family ? family.parameters : []) {
      grid.append(...control(`stage${index}-${p.name}`, p, valueOf(stage, p), (value) => {
        setValue(stage, p, value);
        changed(false);
      }));
    }
    const unknown = family ? stage.params.filter(([key]) => !findParameter(family, key)) : stage.params;
    if (unknown.length) grid.append(element('p', { className: 'about', textContent: `also: ${unknown.map((kv) => kv.join('=')).join(':')}` }));
    list.append(element('fieldset', { className: 'stage' }, legend, tools, about, grid));
  });

  function move(index, by, button) {
    const to = index + by;
    if (to < 0 || to >= stages.length) return;
    [stages[index], stages[to]] = [stages[to], stages[index]];
    changed(true, { index: to, button });
  }
}

// Gives the keyboard back to a stage's tool button after the list is drawn again; false when
// there is no such stage.
export function focusStage(list, { index, button }) {
  const stage = list.querySelectorAll('fieldset.stage')[index];
  stage?.querySelectorAll('.tools button')[button]?.focus();
  return Boolean(stage);
}
