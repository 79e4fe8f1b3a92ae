"""Random chains for training data that depend on (seed, example index) alone.

    from wavfx import augment
    from wavfx.augment import Choice, LogUniform, Uniform

    aug = augment.Compose([
        augment.Effect("speed", factor=Uniform(0.9, 1.1)),
        augment.Effect("equalizer", frequency=LogUniform(100, 4000), gain=Uniform(-6, 6), p=0.5),
        augment.OneOf([augment.Effect("reverb", size=Uniform(0.5, 2)),
                       augment.Effect("echo", delay=Choice([40, 80, 120]))], p=0.3),
    ], seed=1234)
    wet = aug(audio, sample_rate, index=i)           # an array, or a tensor for a tensor
    text = aug.chain_text(index=i)                   # the chain that call applied, for logging

Each draw comes from NumPy's Philox generator keyed by SeedSequence([seed, index]) and nothing
else: an example gets the same chain, and so the same samples, in any process, thread, order or
number of DataLoader workers, on any machine. Drawn values are rounded to 6 significant digits
(so that the few that pass through log and exp do not depend on the platform's libm) and the
transforms hold no state but their settings: they pickle and survive fork.
"""

from __future__ import annotations

import math
import numbers
from dataclasses import dataclass
from typing import Any, Dict, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _FAMILIES, _core, process

__all__ = ["Choice", "Compose", "Effect", "LogUniform", "OneOf", "SomeOf", "Transform", "Uniform"]


@dataclass(frozen=True)
class Uniform:
    """A number drawn uniformly from [lo, hi]; for a whole-number parameter, a whole number."""

    lo: float
    hi: float

    def _draw(self, rng: np.random.Generator, integer: bool) -> float:
        u = rng.random()
        if integer:
            return min(int(self.lo) + math.floor(u * (int(self.hi) - int(self.lo) + 1)), self.hi)
        return _clamp(_round(self.lo + (self.hi - self.lo) * u), self.lo, self.hi)

    def _ends(self) -> Sequence[Any]:
        return (self.lo, self.hi)


@dataclass(frozen=True)
class LogUniform(Uniform):
    """A number whose logarithm is drawn uniformly: lo and hi above 0."""

    def _draw(self, rng: np.random.Generator, integer: bool) -> float:
        u = rng.random()
        x = math.exp(math.log(self.lo) + (math.log(self.hi) - math.log(self.lo)) * u)
        return _clamp(round(x) if integer else _round(x), self.lo, self.hi)


@dataclass(frozen=True)
class Choice:
    """One of the values, with equal chances: numbers, or names for a parameter that takes
    them (resample's quality="low")."""

    values: Tuple[Any, ...]

    def __init__(self, values: Sequence[Any]) -> None:
        object.__setattr__(self, "values", tuple(values))
        if not self.values:
            raise ValueError("Choice needs at least one value")

    def _draw(self, rng: np.random.Generator, integer: bool) -> Any:
        return self.values[min(math.floor(rng.random() * len(self.values)), len(self.values) - 1)]

    def _ends(self) -> Sequence[Any]:
        return self.values


Range = Union[Uniform, Choice]


class Transform:
    """What every transform has: a probability `p` of being applied, and a `seed` that is used
    when this transform is the one called (the outermost). An Effect's seed is 0: put it in a
    Compose for another (dither has a parameter of that name)."""

    def __init__(self, p: float, seed: int = 0) -> None:
        if isinstance(p, bool) or not isinstance(p, numbers.Real) or not 0 <= p <= 1:
            raise ValueError(f"p must be a probability from 0 to 1, not {p!r}")
        if isinstance(seed, bool) or not isinstance(seed, numbers.Integral) or seed < 0:
            raise ValueError(f"seed must be a whole number from 0, not {seed!r}")
        self.p, self.seed = float(p), int(seed)

    def chain_text(self, *, index: int) -> str:
        """The chain this transform applies to example `index` ("none" when nothing is)."""
        if isinstance(index, bool) or not isinstance(index, numbers.Integral) or index < 0:
            raise ValueError(f"index must be a whole number from 0, not {index!r}")
        rng = np.random.Generator(np.random.Philox(np.random.SeedSequence([self.seed, index])))
        return ",".join(self._draw(rng)) or "none"

    def __call__(
        self, audio: Any, sample_rate: int, *, index: int, channels_last: bool = False,
        return_chain: bool = False,
    ) -> Any:
        """Example `index` through its chain as wavfx.process runs it: an array, or a tensor for
        a tensor; with return_chain, (result, chain text)."""
        text = self.chain_text(index=index)
        result = process(audio, sample_rate, text, channels_last=channels_last)
        return (result, text) if return_chain else result

    def _draw(self, rng: np.random.Generator) -> List[str]:
        # Whether it applies is always drawn first, so that what follows is drawn the same way.
        return self._stages(rng) if rng.random() < self.p else []

    def _stages(self, rng: np.random.Generator) -> List[str]:
        raise NotImplementedError


class Effect(Transform):
    """Effect(name, p=1, **parameters): one stage of any family, each parameter a fixed value or
    a range (Uniform, LogUniform, Choice), checked against the registry's ranges here."""

    def __init__(self, name: str, /, *, p: float = 1.0, **parameters: Any) -> None:
        super().__init__(p)
        if not isinstance(name, str) or "=" in name or "," in name:
            raise ValueError(f"{name!r} is not an effect name")
        ((self.name, _),) = _core.parse_chain(name)
        known = {q["name"]: q for q in _FAMILIES[self.name]["parameters"]}
        self.parameters: Dict[str, Any] = {}
        for key, value in parameters.items():
            info = known.get(key.lower())
            if info is None:
                raise ValueError(f"{self.name} has no parameter '{key}' (it has "
                                 f"{', '.join(known) or 'none'})")
            _check(self.name, info, value)
            self.parameters[info["name"]] = value
        self._integer = {key for key in self.parameters if known[key]["integer"]}

    def _stages(self, rng: np.random.Generator) -> List[str]:
        values = []
        for key, value in self.parameters.items():
            if isinstance(value, (Uniform, Choice)):
                value = value._draw(rng, key in self._integer)
            values.append(f"{key}={_text(value)}")
        return [self.name + ("=" + ":".join(values) if values else "")]

    def __repr__(self) -> str:
        given = "".join(f", {key}={value!r}" for key, value in self.parameters.items())
        return f"Effect({self.name!r}{given}, p={self.p})"


class Compose(Transform):
    """The transforms in order, each applied with its own probability."""

    def __init__(self, transforms: Sequence[Transform], *, p: float = 1.0, seed: int = 0) -> None:
        super().__init__(p, seed)
        self.transforms = _transforms(transforms)

    def _stages(self, rng: np.random.Generator) -> List[str]:
        return [stage for t in self.transforms for stage in t._draw(rng)]


class OneOf(Transform):
    """One of the transforms, chosen with the given weights (default: equal)."""

    def __init__(
        self, transforms: Sequence[Transform], *, weights: Optional[Sequence[float]] = None,
        p: float = 1.0, seed: int = 0,
    ) -> None:
        super().__init__(p, seed)
        self.transforms = _transforms(transforms)
        weights = [1.0] * len(self.transforms) if weights is None else [float(w) for w in weights]
        if (len(weights) != len(self.transforms) or not all(0 <= w < math.inf for w in weights)
                or sum(weights) <= 0):
            raise ValueError("OneOf needs one finite weight from 0 per transform, not all 0")
        self.weights = weights

    def _stages(self, rng: np.random.Generator) -> List[str]:
        u, total = rng.random() * sum(self.weights), 0.0
        for transform, weight in zip(self.transforms, self.weights):
            total += weight
            if u < total:
                return transform._draw(rng)
        return self.transforms[-1]._draw(rng)


class SomeOf(Transform):
    """`n` of the transforms (a number, or (lo, hi) for a number drawn from lo to hi), chosen
    without repeats and applied in their given order."""

    def __init__(
        self, transforms: Sequence[Transform], n: Union[int, Tuple[int, int]], *, p: float = 1.0,
        seed: int = 0,
    ) -> None:
        super().__init__(p, seed)
        self.transforms = _transforms(transforms)
        ends = tuple(n) if isinstance(n, Sequence) else (n, n)
        if (len(ends) != 2 or not all(_whole(k) for k in ends)
                or not 0 <= ends[0] <= ends[1] <= len(self.transforms)):
            raise ValueError(f"SomeOf takes 0 to {len(self.transforms)} transforms (a whole number "
                             f"or a (lo, hi) pair of them), not {n!r}")
        self.n = (int(ends[0]), int(ends[1]))

    def _stages(self, rng: np.random.Generator) -> List[str]:
        count = Uniform(*self.n)._draw(rng, True)
        order = list(range(len(self.transforms)))
        for i in range(count):  # the first `count` places of a Fisher-Yates shuffle
            j = i + min(math.floor(rng.random() * (len(order) - i)), len(order) - i - 1)
            order[i], order[j] = order[j], order[i]
        return [stage for k in sorted(order[:count]) for stage in self.transforms[k]._draw(rng)]


def _transforms(transforms: Sequence[Transform]) -> List[Transform]:
    transforms = list(transforms)
    for t in transforms:
        if not isinstance(t, Transform):
            raise TypeError(f"expected transforms, not {type(t).__name__}")
    return transforms


def _check(family: str, info: Dict[str, Any], value: Any) -> None:
    """Refuses (ValueError, as a chain's text is refused) a value or range the parameter cannot
    take."""
    if isinstance(value, Uniform):
        if not value.lo <= value.hi:
            raise ValueError(f"{family}: {info['name']}'s range {value.lo}..{value.hi} is empty")
        if isinstance(value, LogUniform) and not value.lo > 0:
            raise ValueError(f"{family}: {info['name']}'s LogUniform range must be above 0")
        if info["integer"] and not all(float(x).is_integer() for x in value._ends()):
            raise ValueError(f"{family}: {info['name']} takes whole numbers, not {value}")
    ends = value._ends() if isinstance(value, (Uniform, Choice)) else (value,)
    for end in ends:
        _core.parse_chain(f"{family}={info['name']}={_text(end)}")


def _text(value: Any) -> str:
    if isinstance(value, str):
        return value
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"a parameter takes numbers or names, not {type(value).__name__}")
    return str(int(value)) if float(value).is_integer() else repr(float(value))


def _whole(value: Any) -> bool:
    return isinstance(value, numbers.Integral) and not isinstance(value, (bool, np.bool_))


def _round(x: float) -> float:
    return float(f"{x:.6g}")


def _clamp(x: float, lo: float, hi: float) -> float:
    return min(max(x, lo), hi)
