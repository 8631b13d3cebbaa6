Limit cycle: the chaotic 4-species system with its competition weakened to 85 percent; exponent near 0
4 800 0.01
1 0.72 1.53 1.27 
0.3 0.4 0.3 0.5 
192 32768 16711680 8388736 
1 0.9265 1.292 0.0 
0.0 1 0.374 1.156 
1.9805 0.0 1 0.3995 
1.0285 0.4335 0.2975 1 
